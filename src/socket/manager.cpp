// NySocketManager: the registry of live sockets.
#include <algorithm>

#include "nysocket.h"
#include "registry.h"

NySocketManager::NySocketManager() = default;

NySocketManager::NySocketManager(const NySocketManager&) : NySocketManager() {}

NySocketManager& NySocketManager::operator=(const NySocketManager&)
{
    return *this;
}

NySocketManager::~NySocketManager()
{
    // Sockets that outlive their manager must not reach back into it.
    std::lock_guard<std::mutex> guard(m_lock);
    for (NyAsyncSocket* socket : m_sockets)
        socket->m_manager = nullptr;
}

int NySocketManager::RegisterSocket(NyAsyncSocket* socket)
{
    return RegistryAdd(m_lock, m_sockets, socket);
}

int NySocketManager::UnregisterSocket(NyAsyncSocket* socket)
{
    return RegistryRemove(m_lock, m_sockets, socket);
}

std::vector<NyAsyncSocket*> NySocketManager::Sockets() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sockets;
}

NyAsyncSocket* NySocketManager::FromHandle(int handle) const
{
    if (handle == -1)
        return nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    for (NyAsyncSocket* socket : m_sockets)
        if (socket->Handle() == handle)
            return socket;
    return nullptr;
}
