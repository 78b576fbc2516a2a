// NySocketManager: the registry of live sockets.
#include <algorithm>

#include "nysocket.h"

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
    if (!socket)
        return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    if (std::find(m_sockets.begin(), m_sockets.end(), socket) == m_sockets.end())
        m_sockets.push_back(socket);
    return 0;
}

int NySocketManager::UnregisterSocket(NyAsyncSocket* socket)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = std::find(m_sockets.begin(), m_sockets.end(), socket);
    if (it == m_sockets.end())
        return -1;
    m_sockets.erase(it);
    return 0;
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
