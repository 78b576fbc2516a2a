#include "support/agent.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/loopback.h"

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

// Resolves a program name through PATH before fork, so the child only calls execve.
std::string FindProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* path = std::getenv("PATH");
    std::stringstream split(std::string(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin") + ":/usr/sbin:/sbin");
    for (std::string dir; std::getline(split, dir, ':');) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return program;
}

// The test's environment with the given entries replacing those of the same name
// (a later entry replaces an earlier one).
std::vector<std::string> Environment(const std::vector<std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const std::string& o : overrides) {
        const std::string prefix = o.substr(0, o.find('=') + 1);
        env.erase(std::remove_if(env.begin(), env.end(),
                                 [&](const std::string& e) { return e.compare(0, prefix.size(), prefix) == 0; }),
                  env.end());
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
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
    if (fd >= 0)
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
    for (int fd = 3; fd < (max < 0 || max > 65536 ? 65536 : max); ++fd)
        ::close(fd);
}

// Forks a child running `path` with stdin from /dev/null, stdout and stderr to
// the descriptors (-1: /dev/null), in `dir` unless empty; -1 when fork fails.
pid_t StartChild(const std::string& path, std::vector<std::string> argv, std::vector<std::string> env, int outFd,
                 int errFd, const std::string& dir)
{
    std::vector<char*> argp = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // A test process that dies without running destructors takes its children along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int null = ::open("/dev/null", O_RDWR);
    if (::getppid() != parent || null < 0 || (!dir.empty() && ::chdir(dir.c_str()) != 0))
        ::_exit(126);
    ::dup2(null, 0);
    ::dup2(outFd >= 0 ? outFd : null, 1);
    ::dup2(errFd >= 0 ? errFd : null, 2);
    CloseInheritedDescriptors();
    ::execve(path.c_str(), argp.data(), envp.data());
    ::_exit(127);
}

// Waits up to timeoutMs for the child to end, else kills it; always reaps.
// The exit status (128 + signal number when a signal ended it); -1 when it
// had to be killed.
int Reap(pid_t pid, int timeoutMs, bool* killed = nullptr)
{
    int status = 0;
    pid_t r = 0;
    if (WaitFor([&] { return (r = ::waitpid(pid, &status, WNOHANG)) == pid || (r < 0 && errno != EINTR); },
                timeoutMs, 5))
        return r < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (killed != nullptr)
        *killed = true;
    return -1;
}

std::string Tail(const std::string& text, size_t max = 2000)
{
    return text.size() <= max ? text : "..." + text.substr(text.size() - max);
}

uint16_t FreePort(int type)
{
    uint16_t port = 0;
    int fd = BindLoopback(type, port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs, int pauseMs)
{
    for (auto deadline = Deadline(timeoutMs);; std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs))) {
        if (condition())
            return true;
        if (MsLeft(deadline) == 0)
            return false;
    }
}

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
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
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

// Output goes to files, not pipes, so a chatty program never blocks on a
// reader and the wait needs no polling of descriptors.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs, const std::vector<std::string>& extraEnv)
{
    CommandResult result;
    std::vector<std::string> overrides;
    if (std::none_of(args.begin(), args.end(), [](const std::string& a) {
            return a.compare(0, 2, "-m") == 0 || a.compare(0, 2, "-M") == 0;
        }))
        overrides.push_back("MIBS=");
    overrides.insert(overrides.end(), extraEnv.begin(), extraEnv.end());
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    TempDir dir("nysnmp-run");
    int out = ::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    int err = ::open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    pid_t pid = out >= 0 && err >= 0 ? StartChild(FindProgram(program), argv, Environment(overrides), out, err, "")
                                     : -1;
    for (int fd : {out, err})
        if (fd >= 0)
            ::close(fd);
    if (pid < 0) {
        result.err = "cannot start " + program;
        return result;
    }
    result.status = Reap(pid, timeoutMs, &result.timedOut);
    result.out = ReadFile(dir.File("out"));
    result.err = ReadFile(dir.File("err"));
    return result;
}

std::vector<std::string> WalkedOids(const std::string& out)
{
    std::vector<std::string> oids;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t cut = line.find(" = ");
        if (cut != std::string::npos)
            oids.push_back(line.substr(0, cut));
    }
    return oids;
}

Daemon::~Daemon()
{
    Stop();
}

bool Daemon::Spawn(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    // Each daemon keeps its persistent state (and pid file) in the fixture's directory,
    // never in /var/lib/snmp, and reads no MIB modules.
    m_pid = StartChild(program, argv,
                       Environment({"MIBS=", "SNMP_PERSISTENT_DIR=" + m_dir.File("persist"),
                                    "SNMPCONFPATH=" + m_dir.Path()}),
                       -1, -1, m_dir.Path());
    if (m_pid < 0)
        m_error = std::string("fork failed: ") + std::strerror(errno);
    return m_pid > 0;
}

bool Daemon::Running()
{
    int status = 0;
    pid_t r = m_pid > 0 ? ::waitpid(m_pid, &status, WNOHANG) : -1;
    if (r == m_pid || (r < 0 && errno == ECHILD))
        m_pid = -1;
    return m_pid > 0;
}

int Daemon::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = Reap(m_pid, timeoutMs);
    m_pid = -1;
    return status;
}

bool Daemon::WaitForLog(const std::string& text, int timeoutMs) const
{
    return WaitFor([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
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

bool Daemon::Launch(const std::string& confPath, const std::string& conf, const std::string& program,
                    const std::vector<std::string>& args, int timeoutMs, bool& portTaken,
                    const std::function<bool()>& ready)
{
    auto bindFailed = [this] {
        const std::string log = Log();
        return log.find("Error opening specified endpoint") != std::string::npos ||
               log.find("[init_smux] bind failed") != std::string::npos;
    };
    std::remove(LogPath().c_str());
    if (!WriteFile(confPath, conf)) {
        m_error = "cannot write " + confPath;
        return false;
    }
    if (!Spawn(program, args))
        return false;
    auto deadline = Deadline(timeoutMs);
    for (;;) {
        if (bindFailed()) {
            portTaken = true;
            Fail(program + " could not bind its ports");
            return false;
        }
        if (!Running()) {
            Fail(program + " ended during start-up");
            return false;
        }
        // A port taken by another process may show in the log only after the
        // daemon answered on the others.
        if (ready() && !bindFailed())
            return true;
        if (MsLeft(deadline) == 0) {
            Fail(program + " did not start in time");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// ---- snmpd -----------------------------------------------------------------

bool SnmpAgent::StartOnce(int timeoutMs, bool& portTaken)
{
    Stop();
    m_port = FreeUdpPort();
    m_smuxPort = FreeTcpPort();
    m_agentxPort = m_options.agentxTcp ? FreeTcpPort() : 1;
    if (m_port == 0 || m_smuxPort == 0 || m_agentxPort == 0) {
        m_error = "no free loopback port";
        return false;
    }
    return Run(timeoutMs, portTaken);
}

bool SnmpAgent::Restart(int timeoutMs)
{
    Stop();
    bool portTaken = false;
    return Run(timeoutMs, portTaken);
}

bool SnmpAgent::Run(int timeoutMs, bool& portTaken)
{
    std::ostringstream conf;
    conf << "agentaddress udp:127.0.0.1:" << m_port << "\n"
         << "smuxsocket 127.0.0.1:" << m_smuxPort << "\n";
    for (const auto& peer : m_options.smuxPeers)
        conf << "smuxpeer " << peer.first << " " << peer.second << "\n";
    conf << "rocommunity " << m_options.readCommunity << " 127.0.0.1\n"
         << "rwcommunity " << m_options.writeCommunity << " 127.0.0.1\n";
    if (m_options.trapPort != 0)
        conf << "trapsink 127.0.0.1:" << m_options.trapPort << " " << m_options.trapCommunity << "\n";
    if (m_options.agentx)
        conf << "master agentx\nagentXSocket " << AgentxAddress() << "\nagentXPerms 0600 0700\n";
    for (const std::string& line : m_options.extraLines)
        conf << line << "\n";
    bool udpReady = false;
    auto ready = [&] {
        udpReady = udpReady || RunCommand("snmpget", {"-v2c", "-c", m_options.readCommunity, "-m", "", "-t", "0.3",
                                                      "-r", "0", Address(), "1.3.6.1.2.1.1.3.0"},
                                          5000).status == 0;
        return udpReady && ConnectsTcp(m_smuxPort) && (!m_options.agentx || !m_options.agentxTcp || ConnectsTcp(m_agentxPort));
    };
    return Launch(ConfigPath(), conf.str(), "/usr/sbin/snmpd",
                  {"-f", "-C", "-c", ConfigPath(), "-Lf", LogPath(), "-p", m_dir.File("snmpd.pid"), "-m", ""},
                  timeoutMs, portTaken, ready);
}

CommandResult SnmpAgent::Query(const std::string& tool, const std::string& community, const std::string& version,
                               const std::vector<std::string>& args) const
{
    std::vector<std::string> all{version, "-c", community, "-m", "", "-On", "-t", "2", "-r", "1", Address()};
    all.insert(all.end(), args.begin(), args.end());
    return RunCommand(tool, all);
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
    const std::string confPath = m_dir.File("snmptrapd.conf");
    // The version line is written once the listening port is open.
    return Launch(confPath, "disableAuthorization yes\n", "/usr/sbin/snmptrapd",
                  {"-f", "-Lf", LogPath(), "-C", "-c", confPath, "-m", "", "-On", "-p",
                   m_dir.File("snmptrapd.pid"), "udp:127.0.0.1:" + std::to_string(m_port)},
                  timeoutMs, portTaken, [this] { return Log().find("NET-SNMP version") != std::string::npos; });
}
