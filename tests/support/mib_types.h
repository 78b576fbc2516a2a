// The MIB variable types and access codes the tree tests build with.
#ifndef NYSNMP_TESTS_MIB_TYPES_H
#define NYSNMP_TESTS_MIB_TYPES_H

#include <cstdint>
#include <string>

#include "nymib.h"

using MibInt = nymibvar<int32_t, 1, 2>;
using MibCounter = nymibvar<uint32_t, 2, 65>;
using MibGauge = nymibvar<uint32_t, 2, 66>;
using MibTicks = nymibvar<uint32_t, 2, 67>;
using MibCounter64 = nymibvar<uint64_t, 3, 70>;
using MibOctets = nymibvar<std::string, 4, 4>;
using MibIpAddr = nymibvar<std::string, 4, 64>;
using MibOid = nymibvar<NySnmpOid, 5, 6>;
using MibNull = nymibvar<unsigned char, 0, 5>;
using MibNoSuchInstance = nymibvar<unsigned char, 0, 129>;

constexpr int kNoAccess = 0;
constexpr int kReadOnly = 1;
constexpr int kReadWrite = 2;
constexpr int kWriteOnly = 3;

#endif
