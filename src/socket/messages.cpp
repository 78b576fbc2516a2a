#include "messages.h"

#include <cstring>

#include "nysocket.h"

const char* NySocketMessageText(int id)
{
    switch (id) {
    case NYSOCKET_INVALID_ARG: return "Invalid argument passed to method %1";
    case NYSOCKET_OUT_OF_MEMORY: return "Out of memory";
    case NYSOCKET_CREATE_FAILED: return "Failed to create a socket in %1: %2";
    case NYSOCKET_BIND_FAILED: return "Failed to bind the socket in %1: %2";
    case NYSOCKET_LISTEN_FAILED: return "Failed to listen on the socket in %1: %2";
    case NYSOCKET_ACCEPT_FAILED: return "Failed to accept a connection in %1: %2";
    case NYSOCKET_OPTION_FAILED: return "Failed to set a socket option in %1: %2";
    case NYSOCKET_SEND_FAILED: return "Failed to send on the socket in %1: %2";
    case NYSOCKET_RECEIVE_FAILED: return "Failed to receive from the socket in %1: %2";
    case NYSOCKET_NAME_FAILED: return "Failed to get an address of the socket in %1: %2";
    case NYSOCKET_WAIT_FAILED: return "Failed to wait for socket events in %1: %2";
    case NYSOCKET_NOT_OPEN: return "The socket is not open in %1";
    case NYSOCKET_CONNECT_FAILED: return "Failed to connect the socket in %1: %2";
    case NYSOCKET_RESOLVE_FAILED: return "Gethostbyname failed, error %1: %2";
    default: return "";
    }
}

std::string NySocketSystemText(int native)
{
    if (native == 0)
        return std::string();
    char buffer[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(native, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

std::string NySocketFormat(int id, const char* where, const std::string& detail)
{
    const char* format = NySocketMessageText(id);
    std::string out;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            out += p[1] == '1' ? std::string(where ? where : "") : detail;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
