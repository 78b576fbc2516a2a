// NySnmpManager: the socket registry shared by sessions, and their clock.
#include "nysmuxpeer.h"

NySnmpManager::NySnmpManager() : m_startTime(std::time(nullptr)) {}

NySnmpManager::~NySnmpManager() = default;

int NySnmpManager::Init()
{
    return 0;
}

int NySnmpManager::End()
{
    return 0;
}

int32_t NySnmpManager::UpTime()
{
    return static_cast<int32_t>(std::time(nullptr) - m_startTime);
}
