// Real net-snmp daemons and tools on loopback for the interoperability tests.
//
// Every daemon owns a private temporary directory (configuration, log,
// persistent state, pid file) and its own ports, so tests running in
// parallel share nothing.  Daemons are started with fork/exec so their pid
// is known, and stopped by that pid (TERM, bounded wait, then KILL) by Stop()
// and by the destructor, so also when an assertion ends the test early.
#ifndef NYSNMP_TESTS_AGENT_H
#define NYSNMP_TESTS_AGENT_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A private directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A loopback TCP port that was free a moment ago; 0 when none could be bound.
uint16_t FreeTcpPort();
// A whole file; the empty text when it cannot be read.
std::string ReadFile(const std::string& path);
// Checks the condition every pauseMs until it holds or timeoutMs have passed; whether it held.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs, int pauseMs = 20);

struct CommandResult {
    int status = -1; // as Daemon::Stop gives it; -1 also when it could not be started
    bool timedOut = false;
    std::string out, err;
};

// Runs a program (looked up in PATH) with stdin from /dev/null and collects
// stdout and stderr.  MIBS is set to the empty text unless an argument is -m
// or -M; extraEnv entries ("NAME=value") are added last.  A program still
// running after timeoutMs is killed.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args, int timeoutMs = 20000,
                         const std::vector<std::string>& extraEnv = {});
// The object identifiers of a walk's output (-On), in order.
std::vector<std::string> WalkedOids(const std::string& out);

// A daemon started by fork/exec and stopped by pid.
class Daemon {
public:
    Daemon() = default;
    virtual ~Daemon() { Stop(); }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Starts the daemon and waits (bounded) until it answers; a start that
    // loses its ports to another process is retried with new ones.
    bool Start(int timeoutMs = 15000);
    pid_t Pid() const { return m_pid; }
    bool Running();
    // TERM, wait up to timeoutMs, then KILL; always reaps.  The exit status
    // (128 + signal number when a signal ended it); -1 when it had to be
    // killed or was not running.
    int Stop(int timeoutMs = 5000);
    // Why the last Start failed, with the tail of the daemon's log.
    const std::string& Error() const { return m_error; }
    std::string LogPath() const { return m_dir.File("daemon.log"); }
    std::string Log() const { return ReadFile(LogPath()); }
    bool WaitForLog(const std::string& text, int timeoutMs = 10000) const;

protected:
    // One attempt on freshly picked ports; `portTaken` when another process took one.
    virtual bool StartOnce(int, bool& portTaken) { return portTaken = false; }
    bool Spawn(const std::string& program, const std::vector<std::string>& args);
    // Stops a running instance, writes the configuration, spawns the program and
    // waits (bounded) until it has opened its ports.
    bool Launch(const std::string& conf, const std::string& program, const std::vector<std::string>& args,
                int timeoutMs, bool& portTaken);

    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_error;
};

struct AgentOptions {
    std::vector<std::pair<std::string, std::string>> smuxPeers; // smuxpeer <oid> <password>
    std::vector<std::string> extraLines;                         // snmpd.conf lines as given
    // `master agentx` on a Unix socket in the agent's directory, or with
    // agentxTcp on a loopback TCP port.
    bool agentx = false;
    bool agentxTcp = false;
};

// net-snmp's snmpd on 127.0.0.1 with a UDP agent port and a TCP SMUX port,
// communities public (read) and private (write).
class SnmpAgent : public Daemon {
public:
    AgentOptions& Options() { return m_options; }
    // Starts again on the same ports.
    bool Restart(int timeoutMs = 15000);
    uint16_t Port() const { return m_port; }
    uint16_t SmuxPort() const { return m_smuxPort; }
    uint16_t AgentxPort() const { return m_agentxPort; }
    // "127.0.0.1:<port>", the agent argument of the net-snmp tools.
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // The agentXSocket address subagents connect to.
    std::string AgentxAddress() const
    {
        return m_options.agentxTcp ? "tcp:127.0.0.1:" + std::to_string(m_agentxPort) : "unix:" + m_dir.File("agentx");
    }

    // A net-snmp tool against this agent: -m "" -On -t 2 -r 1, version 2c
    // unless told, community private for snmpset and public otherwise; the
    // arguments follow the agent's address.
    CommandResult Tool(const std::string& tool, const std::vector<std::string>& args,
                       const std::string& version = "-v2c") const;
    CommandResult Get(const std::vector<std::string>& oids) const { return Tool("snmpget", oids); }
    CommandResult Walk(const std::string& oid, const std::string& version = "-v2c") const
    {
        return Tool("snmpwalk", {oid}, version);
    }
    // oid type value [oid type value ...]
    CommandResult Set(const std::vector<std::string>& args) const { return Tool("snmpset", args); }

protected:
    bool StartOnce(int timeoutMs, bool& portTaken) override;

private:
    bool Run(int timeoutMs, bool& portTaken);

    AgentOptions m_options;
    uint16_t m_port = 0, m_smuxPort = 0, m_agentxPort = 0;
};

// net-snmp's snmptrapd on a UDP loopback port, logging every trap to its log file.
class TrapReceiver : public Daemon {
public:
    uint16_t Port() const { return m_port; }

protected:
    bool StartOnce(int timeoutMs, bool& portTaken) override;

private:
    uint16_t m_port = 0;
};

#endif
