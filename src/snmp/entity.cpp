// SNMP endpoint: IPv4 socket address with host-name resolution.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "nysnmp.h"
#include "snmp/raise.h"

namespace {

const char* const kSetSockAddr = "NySnmpEntity::SetSockAddr";

// The resolver's failures keep the numbers (and reason texts) of the message table,
// which were defined for the WinSock resolver.
constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;
constexpr int kNoData = 11004;

int ResolverErrorNumber(int herr, int err)
{
    switch (herr) {
    case 0:
    case HOST_NOT_FOUND:
        return kHostNotFound;
    case TRY_AGAIN:
        return kTryAgain;
    case NO_RECOVERY:
        return kNoRecovery;
    case NO_DATA:
        return kNoData;
    case NETDB_INTERNAL:
        // The reason is in errno; report that rather than the bare -1.
        return err != 0 ? err : herr;
    default:
        return herr;
    }
}

const char* ResolverReason(int number)
{
    switch (number) {
    case kHostNotFound:
        return "Authoritative Answer Host not found";
    case kTryAgain:
        return "Non-Authoritive Host not found";
    case kNoRecovery:
        return "Non recoverable errors";
    case kNoData:
        return "Valid name, no data record of requested type";
    default:
        return "Unkown NIS error";
    }
}

// First IPv4 address of `host` from the resolver, or the resolver's error number.
bool Resolve(const char* host, in_addr& address, int& error)
{
    // gethostbyname_r rather than gethostbyname: entities may be set up on several
    // threads at once.  The work area grows on ERANGE, within a fixed bound.
    std::vector<char> work(1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        hostent entry{};
        hostent* answer = nullptr;
        int herr = 0;
        errno = 0;
        int rc = ::gethostbyname_r(host, &entry, work.data(), work.size(), &answer, &herr);
        if (rc == ERANGE) {
            work.resize(work.size() * 2);
            continue;
        }
        if (rc != 0 || answer == nullptr) {
            error = ResolverErrorNumber(herr, rc != 0 ? rc : errno);
            return false;
        }
        if (answer->h_addrtype != AF_INET || answer->h_length != static_cast<int>(sizeof(in_addr)) ||
            answer->h_addr_list == nullptr || answer->h_addr_list[0] == nullptr) {
            error = kNoData;
            return false;
        }
        std::memcpy(&address, answer->h_addr_list[0], sizeof(in_addr));
        return true;
    }
    error = ResolverErrorNumber(NETDB_INTERNAL, ERANGE);
    return false;
}

}  // namespace

NySnmpEntity::NySnmpEntity() : m_address{}, m_socket(nullptr) {}

NySnmpEntity::NySnmpEntity(const NySnmpEntity& other) : m_address{}, m_socket(nullptr)
{
    Copy(other);
}

NySnmpEntity::NySnmpEntity(const sockaddr& address, const NyAsyncSocket* socket)
    : m_address(address), m_socket(socket)
{
}

NySnmpEntity& NySnmpEntity::operator=(const NySnmpEntity& other)
{
    Copy(other);
    return *this;
}

NySnmpEntity::~NySnmpEntity() = default;

void NySnmpEntity::Copy(const NySnmpEntity& other)
{
    m_address = other.SockAddr();
    m_socket = other.Socket();
}

int NySnmpEntity::SetSockAddr(unsigned int port, const char* host)
{
    // A port beyond 16 bits would silently name another port once truncated.
    if (host == nullptr || *host == '\0' || port > 0xFFFF)
        NyRaise(kSetSockAddr, NYSOCK_INVALID_ARG, NYSOCK_INVALID_ARG_TEXT, kSetSockAddr);

    std::memset(&m_address, 0, sizeof m_address);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<uint16_t>(port));
    sin.sin_addr.s_addr = ::inet_addr(host);
    if (sin.sin_addr.s_addr == INADDR_NONE) {
        int error = 0;
        if (!Resolve(host, sin.sin_addr, error)) {
            std::string reason = std::string(host) + " " + ResolverReason(error);
            NyRaise(kSetSockAddr, NYSOCK_GETHOSTBYNAME, NYSOCK_GETHOSTBYNAME_TEXT, error, reason.c_str());
        }
    }
    static_assert(sizeof(sockaddr_in) == sizeof(sockaddr), "an IPv4 address fills a sockaddr");
    std::memcpy(&m_address, &sin, sizeof sin);
    return 0;
}

int NySnmpEntity::SetSockAddr(const sockaddr& address)
{
    m_address = address;
    return 0;
}

void NySnmpEntity::SetSocket(const NyAsyncSocket* socket)
{
    m_socket = socket;
}

sockaddr& NySnmpEntity::SockAddr()
{
    return m_address;
}

const sockaddr& NySnmpEntity::SockAddr() const
{
    return m_address;
}

const NyAsyncSocket* NySnmpEntity::Socket() const
{
    return m_socket;
}
