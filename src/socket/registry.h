// Internal: the socket lists a manager and an owner keep.
#ifndef NYSOCKET_SRC_REGISTRY_H
#define NYSOCKET_SRC_REGISTRY_H

#include <algorithm>
#include <mutex>
#include <vector>

class NyAsyncSocket;

// Adds `socket` once; -1 for a null socket.
inline int RegistryAdd(std::mutex& lock, std::vector<NyAsyncSocket*>& sockets, NyAsyncSocket* socket)
{
    if (!socket)
        return -1;
    std::lock_guard<std::mutex> guard(lock);
    if (std::find(sockets.begin(), sockets.end(), socket) == sockets.end())
        sockets.push_back(socket);
    return 0;
}

// Removes `socket`; -1 when it was not registered.
inline int RegistryRemove(std::mutex& lock, std::vector<NyAsyncSocket*>& sockets, NyAsyncSocket* socket)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = std::find(sockets.begin(), sockets.end(), socket);
    if (it == sockets.end())
        return -1;
    sockets.erase(it);
    return 0;
}

#endif
