// SNMP endpoints (address from a port and a host, resolver failures) and raw
// packet buffers (allocation, trimming, copies that own their octets).
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "nysnmp.h"
#include "snmp/check.h"

namespace {

std::string AddressHex(const sockaddr& address)
{
    return ToHex(reinterpret_cast<const unsigned char*>(&address), sizeof address);
}

const NyAsyncSocket* FakeSocket(uintptr_t n)
{
    return reinterpret_cast<const NyAsyncSocket*>(n);
}

// Dotted hosts need no lookup (inet_addr's short forms included); names go to
// the resolver.  The address: family (host order on x86), port, address, zeros.
TEST(NySnmpEntity, AddressFromPortAndHost)
{
    const std::tuple<unsigned int, const char*, const char*> rows[] = {
        {161, "10.0.0.1", "02 00 00 A1 0A 00 00 01 00 00 00 00 00 00 00 00"},
        {0, "127.0.0.1", "02 00 00 00 7F 00 00 01 00 00 00 00 00 00 00 00"},
        {65535, "192.168.200.7", "02 00 FF FF C0 A8 C8 07 00 00 00 00 00 00 00 00"},
        {7199, "1.2.3", "02 00 1C 1F 01 02 00 03 00 00 00 00 00 00 00 00"}, // c as 16 bits
        {1, "2130706433", "02 00 00 01 7F 00 00 01 00 00 00 00 00 00 00 00"}, // one 32-bit number
        {7199, "localhost", "02 00 1C 1F 7F 00 00 01 00 00 00 00 00 00 00 00"},
        // INADDR_NONE to inet_addr; the resolver still reads it
        {9, "255.255.255.255", "02 00 00 09 FF FF FF FF 00 00 00 00 00 00 00 00"},
    };
    for (const auto& [port, host, hex] : rows) {
        NySnmpEntity entity;
        EXPECT_EQ(entity.SetSockAddr(port, host), 0);
        EXPECT_EQ(AddressHex(entity.SockAddr()), hex) << host;
    }
}

// Bad arguments keep the old address; a name the resolver refuses clears it.
TEST(NySnmpEntity, RefusedHosts)
{
    const char* bad = "Invalid argument passed to method NySnmpEntity::SetSockAddr";
    const char* kept = "02 00 00 A1 0A 00 00 01 00 00 00 00 00 00 00 00";
    const struct { unsigned int port; const char* host; uint32_t id; const char* text; const char* after; } rows[] = {
        {161, nullptr, NYSOCK_INVALID_ARG, bad, kept},
        {161, "", NYSOCK_INVALID_ARG, bad, kept},
        {65536 + 161, "10.0.0.1", NYSOCK_INVALID_ARG, bad, kept}, // would wrap to another port
        // an empty label: the resolver refuses the name itself, without asking DNS
        {161, "no..such.invalid", NYSOCK_GETHOSTBYNAME,
         "Gethostbyname failed, error 11001: no..such.invalid Authoritative Answer Host not found",
         "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    };
    for (const auto& row : rows) {
        NySnmpEntity entity;
        entity.SetSockAddr(161, "10.0.0.1");
        EXPECT_TRUE(Throws([&] { entity.SetSockAddr(row.port, row.host); }, row.id, "NySnmpEntity::SetSockAddr",
                           row.text));
        EXPECT_EQ(AddressHex(entity.SockAddr()), row.after);
    }
}

TEST(NySnmpEntity, CopiesTakeAddressAndSocket)
{
    sockaddr raw{};
    raw.sa_family = AF_INET;
    raw.sa_data[0] = 0x12;
    NySnmpEntity source(raw, FakeSocket(0x80));
    NySnmpEntity copy(source);
    NySnmpEntity assigned;
    assigned = source;
    NySnmpEntity copied;
    copied.Copy(source);
    for (NySnmpEntity* e : {&copy, &assigned, &copied}) {
        EXPECT_EQ(AddressHex(e->SockAddr()), AddressHex(raw));
        EXPECT_EQ(e->Socket(), FakeSocket(0x80));
    }
    NySnmpEntity fromRaw;
    fromRaw.SetSockAddr(raw);
    EXPECT_EQ(AddressHex(fromRaw.SockAddr()), AddressHex(raw));
    EXPECT_EQ(fromRaw.Socket(), nullptr);
}

TEST(NySnmpPacket, AllocateAndTrim)
{
    NySnmpPacket empty;
    empty.Trim(); // nothing to trim
    EXPECT_EQ(empty.Buffer().data, nullptr);
    EXPECT_EQ(empty.Buffer().size, 0u);

    NySnmpPacket packet(8);
    NySnmpBuffer& buffer = packet.Buffer();
    ASSERT_NE(buffer.data, nullptr);
    EXPECT_EQ(ToHex(buffer.data, buffer.size), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(buffer.length, 0u);
    // Left alone: nothing held, all of it held, and a length beyond the
    // buffer (no reason to copy past it).
    unsigned char* before = buffer.data;
    for (unsigned int length : {0u, 8u, 9u}) {
        buffer.length = length;
        packet.Trim();
        EXPECT_EQ(buffer.data, before);
        EXPECT_EQ(buffer.size, 8u);
    }
    std::memcpy(buffer.data, "\x30\x03\x02\x01\x05", 5);
    buffer.length = 5;
    packet.Trim();
    EXPECT_EQ(buffer.size, 5u);
    EXPECT_EQ(buffer.length, 5u);
    EXPECT_EQ(ToHex(buffer.data, 5), "30 03 02 01 05");

    buffer.reserved = 7;
    packet.Allocate(3);
    EXPECT_EQ(buffer.size, 3u);
    EXPECT_EQ(buffer.length, 0u);
    EXPECT_EQ(buffer.reserved, 0u);
    packet.Allocate(0);
    EXPECT_EQ(buffer.data, nullptr);
    EXPECT_EQ(buffer.size, 0u);
}

TEST(NySnmpPacket, CopiesOwnTheirOctets)
{
    sockaddr sender{}, receiver{};
    sender.sa_data[1] = 1;
    receiver.sa_data[1] = 2;
    NySnmpPacket original(sender, receiver, 4);
    std::memcpy(original.Buffer().data, "\x01\x02\x03\x04", 4);
    original.Buffer().length = 3;

    NySnmpPacket copy(original);
    NySnmpPacket assigned(16);
    assigned = original;
    for (NySnmpPacket* p : {&copy, &assigned}) {
        ASSERT_NE(p->Buffer().data, nullptr);
        EXPECT_NE(p->Buffer().data, original.Buffer().data);
        EXPECT_EQ(p->Buffer().size, 4u);
        EXPECT_EQ(p->Buffer().length, 3u);
        EXPECT_EQ(ToHex(p->Buffer().data, 4), "01 02 03 04");
        EXPECT_EQ(p->Sender().sa_data[1], 1);
        EXPECT_EQ(p->Receiver().sa_data[1], 2);
    }
    copy.Buffer().data[0] = 0xFF;
    EXPECT_EQ(original.Buffer().data[0], 0x01);

    NySnmpPacket& alias = assigned;
    assigned = alias;  // self-assignment keeps the buffer
    EXPECT_EQ(ToHex(assigned.Buffer().data, 4), "01 02 03 04");
    NySnmpPacket none;
    assigned = none;
    EXPECT_EQ(assigned.Buffer().data, nullptr);
    EXPECT_EQ(assigned.Buffer().size, 0u);
}

}  // namespace
