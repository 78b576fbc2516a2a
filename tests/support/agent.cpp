#include "support/agent.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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

int MsLeft(Clock::time_point deadline)
{
    return static_cast<int>(
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

// Forks a child running `program` (found in PATH by env(1), which also sets
// the variables, "NAME=value") with stdin from /dev/null, stdout and stderr to
// the descriptors (-1: /dev/null), in `dir` unless empty; -1 when fork fails.
pid_t StartChild(const std::vector<std::string>& env, const std::string& program, const std::vector<std::string>& args,
                 int outFd, int errFd, const std::string& dir)
{
    std::vector<std::string> argv{"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // A test process that dies without running destructors takes its children along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null = ::open("/dev/null", O_RDWR);
    if (::getppid() != parent || null < 0 || (!dir.empty() && ::chdir(dir.c_str()) != 0))
        ::_exit(126);
    ::dup2(null, 0);
    ::dup2(outFd >= 0 ? outFd : null, 1);
    ::dup2(errFd >= 0 ? errFd : null, 2);
    // No descriptor of the test (a SMUX connection, a UDP socket) may live on
    // in a daemon or tool, or closing it in the test would no longer reach the peer.
    ::closefrom(3);
    ::execve(argp[0], argp.data(), environ);
    ::_exit(127);
}

// Waits up to timeoutMs for the child to end, else kills it; always reaps.
// The exit status (128 + signal number when a signal ended it); -1 when it had to be killed.
int Reap(pid_t pid, int timeoutMs, bool* killed = nullptr)
{
    int status = 0;
    pid_t r = 0;
    if (WaitFor([&] { return (r = ::waitpid(pid, &status, WNOHANG)) == pid || (r < 0 && errno != EINTR); }, timeoutMs, 5))
        return r < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (killed)
        *killed = true;
    return -1;
}

uint16_t FreePort(int type)
{
    uint16_t port = 0;
    const int fd = BindLoopback(type, port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs, int pauseMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs)))
        if (MsLeft(deadline) == 0)
            return false;
    return true;
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/nysnmp.XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
        m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

uint16_t FreeTcpPort() { return FreePort(SOCK_STREAM); }

std::string ReadFile(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Output goes to files, not pipes, so a chatty program never blocks on a reader.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
                         const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> env;
    if (std::none_of(args.begin(), args.end(), [](const std::string& a) { return a.rfind("-m", 0) == 0 || a.rfind("-M", 0) == 0; }))
        env.push_back("MIBS=");
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    TempDir dir;
    CommandResult result;
    const int out = ::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int err = ::open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const pid_t pid = StartChild(env, program, args, out, err, "");
    ::close(out);
    ::close(err);
    if (pid < 0)
        return result;
    result.status = Reap(pid, timeoutMs, &result.timedOut);
    result.out = ReadFile(dir.File("out"));
    result.err = ReadFile(dir.File("err"));
    return result;
}

std::vector<std::string> WalkedOids(const std::string& out)
{
    std::vector<std::string> oids;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" = ") != std::string::npos)
            oids.push_back(line.substr(0, line.find(" = ")));
    return oids;
}

bool Daemon::Spawn(const std::string& program, const std::vector<std::string>& args)
{
    // Persistent state (and pid file) in the daemon's own directory, never in /var/lib/snmp; no MIB modules.
    m_pid = StartChild({"MIBS=", "SNMP_PERSISTENT_DIR=" + m_dir.File("persist"), "SNMPCONFPATH=" + m_dir.Path()},
                       program, args, -1, -1, m_dir.Path());
    if (m_pid < 0)
        m_error = std::string("fork failed: ") + std::strerror(errno);
    return m_pid > 0;
}

bool Daemon::Running()
{
    int status = 0;
    const pid_t r = m_pid > 0 ? ::waitpid(m_pid, &status, WNOHANG) : -1;
    if (r == m_pid || (r < 0 && errno == ECHILD))
        m_pid = -1;
    return m_pid > 0;
}

int Daemon::Stop(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    const int status = Reap(m_pid, timeoutMs);
    m_pid = -1;
    return status;
}

bool Daemon::WaitForLog(const std::string& text, int timeoutMs) const
{
    return WaitFor([&] { return Log().find(text) != std::string::npos; }, timeoutMs);
}

bool Daemon::Start(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool portTaken = true;
    for (int attempt = 0; attempt < 4 && portTaken && !m_dir.Path().empty() && MsLeft(deadline) > 0; ++attempt)
        if (StartOnce(MsLeft(deadline), portTaken))
            return true;
    return false;
}

bool Daemon::Launch(const std::string& conf, const std::string& program, const std::vector<std::string>& args,
                    int timeoutMs, bool& portTaken)
{
    auto bindFailed = [this] {
        const std::string log = Log();
        return log.find("Error opening specified endpoint") != std::string::npos ||
               log.find("[init_smux] bind failed") != std::string::npos;
    };
    auto fail = [&](const std::string& why) {
        const std::string log = Log();
        m_error = program + why + "\n--- log " + LogPath() + " ---\n" + log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
        Stop();
        return false;
    };
    Stop();
    std::remove(LogPath().c_str());
    std::ofstream(m_dir.File("daemon.conf"), std::ios::trunc) << conf;
    if (!Spawn(program, args))
        return false;
    for (const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);;
         std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        if ((portTaken = bindFailed()))
            return fail(" could not bind its ports");
        if (!Running())
            return fail(" ended during start-up");
        // Both daemons write their version line once every port is open.
        if (Log().find("NET-SNMP version") != std::string::npos && !bindFailed())
            return true;
        if (MsLeft(deadline) == 0)
            return fail(" did not start in time");
    }
}

// ---- snmpd -----------------------------------------------------------------

bool SnmpAgent::StartOnce(int timeoutMs, bool& portTaken)
{
    m_port = FreePort(SOCK_DGRAM);
    m_smuxPort = FreeTcpPort();
    m_agentxPort = m_options.agentxTcp ? FreeTcpPort() : 1;
    return m_port != 0 && m_smuxPort != 0 && m_agentxPort != 0 && Run(timeoutMs, portTaken);
}

bool SnmpAgent::Restart(int timeoutMs)
{
    bool portTaken = false;
    return Run(timeoutMs, portTaken);
}

bool SnmpAgent::Run(int timeoutMs, bool& portTaken)
{
    std::ostringstream conf;
    conf << "agentaddress udp:127.0.0.1:" << m_port << "\nsmuxsocket 127.0.0.1:" << m_smuxPort << "\n";
    for (const auto& [oid, password] : m_options.smuxPeers)
        conf << "smuxpeer " << oid << " " << password << "\n";
    conf << "rocommunity public 127.0.0.1\nrwcommunity private 127.0.0.1\n";
    if (m_options.agentx)
        conf << "master agentx\nagentXSocket " << AgentxAddress() << "\nagentXPerms 0600 0700\n";
    for (const std::string& line : m_options.extraLines)
        conf << line << "\n";
    return Launch(conf.str(), "/usr/sbin/snmpd",
                  {"-f", "-C", "-c", m_dir.File("daemon.conf"), "-Lf", LogPath(), "-p", m_dir.File("pid"), "-m", ""},
                  timeoutMs, portTaken);
}

CommandResult SnmpAgent::Tool(const std::string& tool, const std::vector<std::string>& args,
                              const std::string& version) const
{
    std::vector<std::string> all{version, "-c", tool == "snmpset" ? "private" : "public", "-m", "", "-On", "-t", "2",
                                 "-r", "1", Address()};
    all.insert(all.end(), args.begin(), args.end());
    return RunCommand(tool, all);
}

// ---- snmptrapd -------------------------------------------------------------

bool TrapReceiver::StartOnce(int timeoutMs, bool& portTaken)
{
    if ((m_port = FreePort(SOCK_DGRAM)) == 0)
        return false;
    return Launch("disableAuthorization yes\n", "/usr/sbin/snmptrapd",
                  {"-f", "-Lf", LogPath(), "-C", "-c", m_dir.File("daemon.conf"), "-m", "", "-On", "-p", m_dir.File("pid"),
                   "udp:127.0.0.1:" + std::to_string(m_port)},
                  timeoutMs, portTaken);
}
