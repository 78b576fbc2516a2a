// Internal helpers shared by the product MIB constructors.
#ifndef NYSNMP_SRC_MIBS_BUILD_H
#define NYSNMP_SRC_MIBS_BUILD_H

#include <string>

#include "nymib.h"

namespace nymibs {

constexpr unsigned long kRegistrationNode = 289;
constexpr int kNotAccessible = 0;
constexpr int kReadOnly = 1;
constexpr int kReadWrite = 2;

// The label tables are read-only static data; the tree keeps a plain pointer
// to them and never writes through it.
inline NyMibIntValues* Labels(const NyMibIntValues* table) {
    return const_cast<NyMibIntValues*>(table);
}

[[maybe_unused]] inline const char* Text(const std::string& text) { return text.c_str(); }
[[maybe_unused]] inline const char* Text(const char* text) { return text ? text : ""; }

} // namespace nymibs

#endif
