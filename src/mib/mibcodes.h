// Internal: the codes the MIB tree works with.
#ifndef NYSNMP_SRC_MIB_MIBCODES_H
#define NYSNMP_SRC_MIB_MIBCODES_H

#include <cstdint>

namespace nymib {

constexpr uint32_t kRegistration = 289;
constexpr uint32_t kTrap = 290;
constexpr uint32_t kAggregate = 291;
constexpr uint32_t kTable = 292;
constexpr uint32_t kTableRow = 293;

constexpr int kNotAccessible = 0;
constexpr int kReadOnly = 1;
constexpr int kReadWrite = 2;
constexpr int kWriteOnly = 3;

constexpr int kNoValue = 6;

// SNMP error statuses returned by get and set.
constexpr int kNoError = 0;
constexpr int kBadValue = 3;
constexpr int kGenErr = 5;
constexpr int kNotWritable = 17;

// Structural codes have 0x20 set in their low byte; no value syntax does.
inline bool IsValueLeaf(uint32_t syntax) { return (syntax & 0x20u) == 0; }
inline bool IsReadable(int access) { return access == kReadOnly || access == kReadWrite; }
inline bool IsWritable(int access) { return access == kReadWrite || access == kWriteOnly; }

} // namespace nymib

#endif
