#include "support/agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point Deadline(int timeoutMs)
{
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Resolves a program name through PATH before fork, so the child only calls execve.
std::string FindProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
    std::stringstream split(dirs);
    std::string dir;
    while (std::getline(split, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    for (const char* dir2 : {"/usr/sbin", "/sbin"}) {
        std::string candidate = std::string(dir2) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return program;
}

bool NameIs(const std::string& entry, const std::string& name)
{
    return entry.compare(0, name.size() + 1, name + "=") == 0;
}

// The test's environment with the given entries replacing those of the same name
// (a later entry replaces an earlier one).
std::vector<std::string> Environment(const std::vector<std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const std::string& o : overrides) {
        std::string name = o.substr(0, o.find('='));
        for (auto it = env.begin(); it != env.end();)
            it = NameIs(*it, name) ? env.erase(it) : it + 1;
        env.push_back(o);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (std::string& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

bool ConnectsTcp(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
    ::close(fd);
    return ok;
}

// In a forked child before exec: no descriptor of the test (a SMUX connection, a
// UDP socket) may live on in a daemon or tool, or closing it in the test would
// no longer reach the peer.
void CloseInheritedDescriptors()
{
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0)
        return;
#endif
    long max = ::sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536)
        max = 65536;
    for (int fd = 3; fd < max; ++fd)
        ::close(fd);
}

std::string Tail(const std::string& text, size_t max = 2000)
{
    return text.size() <= max ? text : "..." + text.substr(text.size() - max);
}

}  // namespace

// ---- temporary directory -------------------------------------------------

TempDir::TempDir(const std::string& prefix)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr)
        m_path = buffer.data();
}

TempDir::~TempDir()
{
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

// ---- ports and files -----------------------------------------------------

uint16_t FreePort(int type)
{
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) == 0)
        port = ntohs(sin.sin_port);
    ::close(fd);
    return port;
}

uint16_t FreeUdpPort() { return FreePort(SOCK_DGRAM); }
uint16_t FreeTcpPort() { return FreePort(SOCK_STREAM); }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// ---- commands --------------------------------------------------------------

CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs, const std::vector<std::string>& extraEnv)
{
    CommandResult result;
    bool ownModules = false;
    for (const std::string& a : args)
        if (a.compare(0, 2, "-m") == 0 || a.compare(0, 2, "-M") == 0)
            ownModules = true;
    std::vector<std::string> overrides;
    if (!ownModules)
        overrides.push_back("MIBS=");
    overrides.insert(overrides.end(), extraEnv.begin(), extraEnv.end());
    std::vector<std::string> env = Environment(overrides);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string path = FindProgram(program);
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        result.err = "pipe failed";
        return result;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        result.err = "pipe failed";
        return result;
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        CloseInheritedDescriptors();
        ::execve(path.c_str(), argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        result.err = "fork failed";
        return result;
    }

    auto deadline = Deadline(timeoutMs);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        int left = MsLeft(deadline);
        if (left == 0) {
            result.timedOut = true;
            break;
        }
        int n = ::poll(fds, 2, left);
        if (n < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            ::close(p.fd);
    if (result.timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result.timedOut)
        result.status = -1;
    else if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}

// ---- daemons ---------------------------------------------------------------

Daemon::~Daemon()
{
    Stop();
}

bool Daemon::Spawn(const std::string& program, const std::vector<std::string>& args)
{
    // Each daemon keeps its persistent state (and pid file) in the fixture's directory,
    // never in /var/lib/snmp, and reads no MIB modules.
    std::vector<std::string> env = Environment({"MIBS=", "SNMP_PERSISTENT_DIR=" + m_dir.File("persist"),
                                                "SNMPCONFPATH=" + m_dir.Path()});
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        m_error = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // A test process that dies without running destructors takes its daemons along.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        if (::chdir(m_dir.Path().c_str()) != 0)
            ::_exit(126);
        CloseInheritedDescriptors();
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    m_pid = pid;
    return true;
}

bool Daemon::Running()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid || (r < 0 && errno == ECHILD)) {
        m_pid = -1;
        return false;
    }
    return true;
}

void Daemon::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    auto deadline = Deadline(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno != EINTR)) {
            m_pid = -1;
            return;
        }
        if (MsLeft(deadline) == 0)
            break;
        Pause(10);
    }
    ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

bool Daemon::WaitForLog(const std::string& text, int timeoutMs) const
{
    auto deadline = Deadline(timeoutMs);
    for (;;) {
        if (Log().find(text) != std::string::npos)
            return true;
        if (MsLeft(deadline) == 0)
            return false;
        Pause(20);
    }
}

void Daemon::Fail(const std::string& why)
{
    m_error = why + "\n--- log " + LogPath() + " ---\n" + Tail(Log());
    Stop();
}

bool Daemon::Start(int timeoutMs)
{
    if (m_dir.Path().empty()) {
        m_error = "no temporary directory";
        return false;
    }
    auto deadline = Deadline(timeoutMs);
    for (int attempt = 0; attempt < 4; ++attempt) {
        bool portTaken = false;
        if (StartOnce(MsLeft(deadline), portTaken))
            return true;
        if (!portTaken || MsLeft(deadline) == 0)
            return false;
    }
    return false;
}

// ---- snmpd -----------------------------------------------------------------

std::string SnmpAgent::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

bool SnmpAgent::StartOnce(int timeoutMs, bool& portTaken)
{
    Stop();
    m_port = FreeUdpPort();
    m_smuxPort = FreeTcpPort();
    if (m_port == 0 || m_smuxPort == 0) {
        m_error = "no free loopback port";
        return false;
    }
    std::ostringstream conf;
    conf << "agentaddress udp:127.0.0.1:" << m_port << "\n"
         << "smuxsocket 127.0.0.1:" << m_smuxPort << "\n";
    for (const auto& peer : m_options.smuxPeers)
        conf << "smuxpeer " << peer.first << " " << peer.second << "\n";
    conf << "rocommunity " << m_options.readCommunity << " 127.0.0.1\n"
         << "rwcommunity " << m_options.writeCommunity << " 127.0.0.1\n";
    if (m_options.trapPort != 0)
        conf << "trapsink 127.0.0.1:" << m_options.trapPort << " " << m_options.trapCommunity << "\n";
    for (const std::string& line : m_options.extraLines)
        conf << line << "\n";
    std::remove(LogPath().c_str());
    if (!WriteFile(ConfigPath(), conf.str())) {
        m_error = "cannot write " + ConfigPath();
        return false;
    }
    if (!Spawn("/usr/sbin/snmpd", {"-f", "-C", "-c", ConfigPath(), "-Lf", LogPath(), "-p",
                                   m_dir.File("snmpd.pid"), "-m", ""}))
        return false;

    auto deadline = Deadline(timeoutMs);
    bool udpReady = false;
    bool smuxReady = false;
    for (;;) {
        std::string log = Log();
        if (log.find("Error opening specified endpoint") != std::string::npos ||
            log.find("[init_smux] bind failed") != std::string::npos) {
            portTaken = true;
            Fail("snmpd could not bind its ports");
            return false;
        }
        if (!Running()) {
            Fail("snmpd ended during start-up");
            return false;
        }
        if (!udpReady) {
            CommandResult r = RunCommand("snmpget", {"-v2c", "-c", m_options.readCommunity, "-m", "", "-On",
                                                     "-t", "0.3", "-r", "0", Address(), "1.3.6.1.2.1.1.3.0"},
                                         5000);
            udpReady = r.status == 0;
        }
        if (udpReady && !smuxReady)
            smuxReady = ConnectsTcp(m_smuxPort);
        if (udpReady && smuxReady) {
            // A SMUX port taken by another process shows only in the log.
            if (Log().find("[init_smux] bind failed") == std::string::npos)
                return true;
            continue;
        }
        if (MsLeft(deadline) == 0) {
            Fail("snmpd did not answer in time");
            return false;
        }
        Pause(50);
    }
}

CommandResult SnmpAgent::Tool(const std::string& tool, const std::vector<std::string>& options,
                              const std::vector<std::string>& args) const
{
    std::vector<std::string> all = options;
    all.push_back(Address());
    all.insert(all.end(), args.begin(), args.end());
    return RunCommand(tool, all);
}

CommandResult SnmpAgent::Get(const std::vector<std::string>& oids) const
{
    return Tool("snmpget", {"-v2c", "-c", m_options.readCommunity, "-m", "", "-On", "-t", "2", "-r", "1"}, oids);
}

CommandResult SnmpAgent::GetNext(const std::vector<std::string>& oids) const
{
    return Tool("snmpgetnext", {"-v2c", "-c", m_options.readCommunity, "-m", "", "-On", "-t", "2", "-r", "1"},
                oids);
}

CommandResult SnmpAgent::Walk(const std::string& oid) const
{
    return Tool("snmpwalk", {"-v2c", "-c", m_options.readCommunity, "-m", "", "-On", "-t", "2", "-r", "1"},
                {oid});
}

CommandResult SnmpAgent::Set(const std::vector<std::string>& args) const
{
    return Tool("snmpset", {"-v2c", "-c", m_options.writeCommunity, "-m", "", "-On", "-t", "2", "-r", "1"}, args);
}

// ---- snmptrapd -------------------------------------------------------------

bool TrapReceiver::StartOnce(int timeoutMs, bool& portTaken)
{
    Stop();
    m_port = FreeUdpPort();
    if (m_port == 0) {
        m_error = "no free loopback port";
        return false;
    }
    std::string conf = "disableAuthorization yes\n";
    for (const std::string& line : m_extraLines)
        conf += line + "\n";
    std::string confPath = m_dir.File("snmptrapd.conf");
    std::remove(LogPath().c_str());
    if (!WriteFile(confPath, conf)) {
        m_error = "cannot write " + confPath;
        return false;
    }
    if (!Spawn("/usr/sbin/snmptrapd", {"-f", "-Lf", LogPath(), "-C", "-c", confPath, "-m", "", "-On", "-p",
                                       m_dir.File("snmptrapd.pid"), "udp:127.0.0.1:" + std::to_string(m_port)}))
        return false;
    auto deadline = Deadline(timeoutMs);
    for (;;) {
        std::string log = Log();
        if (log.find("Error opening specified endpoint") != std::string::npos) {
            portTaken = true;
            Fail("snmptrapd could not bind its port");
            return false;
        }
        if (!Running()) {
            Fail("snmptrapd ended during start-up");
            return false;
        }
        // The version line is written once the listening port is open.
        if (log.find("NET-SNMP version") != std::string::npos)
            return true;
        if (MsLeft(deadline) == 0) {
            Fail("snmptrapd did not start in time");
            return false;
        }
        Pause(20);
    }
}
