// Raw packet buffer with sender and receiver addresses.
#include <cstring>
#include <new>

#include "nysnmp.h"

NySnmpPacket::NySnmpPacket(unsigned int size) : m_sender{}, m_receiver{}, m_buffer{}
{
    if (size != 0)
        Allocate(size);
}

NySnmpPacket::NySnmpPacket(const sockaddr& sender, const sockaddr& receiver, unsigned int size)
    : NySnmpPacket(size)
{
    m_sender = sender;
    m_receiver = receiver;
}

NySnmpPacket::NySnmpPacket(const NySnmpPacket& other) : NySnmpPacket(0u)
{
    *this = other;
}

NySnmpPacket& NySnmpPacket::operator=(const NySnmpPacket& other)
{
    if (this == &other)
        return *this;
    // Allocate first: on failure this packet still holds its old buffer.
    unsigned char* data = nullptr;
    if (other.m_buffer.data != nullptr && other.m_buffer.size != 0) {
        data = new (std::nothrow) unsigned char[other.m_buffer.size];
        if (data == nullptr)
            throw NySocketException("NySnmpPacket::Allocate", NySnmpNativeError(NYSOCK_OUT_OF_MEMORY),
                                    static_cast<int>(NYSOCK_OUT_OF_MEMORY), NYSOCK_OUT_OF_MEMORY_TEXT);
        std::memcpy(data, other.m_buffer.data, other.m_buffer.size);
    }
    Release();
    m_buffer = other.m_buffer;
    m_buffer.data = data;
    if (data == nullptr)
        m_buffer.size = 0;
    m_sender = other.m_sender;
    m_receiver = other.m_receiver;
    return *this;
}

NySnmpPacket::~NySnmpPacket()
{
    Release();
}

void NySnmpPacket::Release()
{
    delete[] m_buffer.data;
    m_buffer = NySnmpBuffer{};
}

void NySnmpPacket::Allocate(unsigned int size)
{
    Release();
    if (size == 0)
        return;
    unsigned char* data = new (std::nothrow) unsigned char[size]();
    // The size is only recorded with a buffer behind it, so a failed allocation
    // never leaves a size that promises octets that are not there.
    if (data == nullptr)
        throw NySocketException("NySnmpPacket::Allocate", NySnmpNativeError(NYSOCK_OUT_OF_MEMORY),
                                static_cast<int>(NYSOCK_OUT_OF_MEMORY), NYSOCK_OUT_OF_MEMORY_TEXT);
    m_buffer.size = size;
    m_buffer.data = data;
}

void NySnmpPacket::Trim()
{
    if (m_buffer.data == nullptr || m_buffer.length == 0 || m_buffer.length >= m_buffer.size)
        return;
    unsigned char* data = new (std::nothrow) unsigned char[m_buffer.length];
    if (data == nullptr)
        return;
    std::memcpy(data, m_buffer.data, m_buffer.length);
    delete[] m_buffer.data;
    m_buffer.data = data;
    m_buffer.size = m_buffer.length;
}

sockaddr& NySnmpPacket::Sender()
{
    return m_sender;
}

sockaddr& NySnmpPacket::Receiver()
{
    return m_receiver;
}

NySnmpBuffer& NySnmpPacket::Buffer()
{
    return m_buffer;
}
