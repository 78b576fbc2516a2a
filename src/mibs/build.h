// Internal helpers shared by the product MIB constructors.
#ifndef NYSNMP_SRC_MIBS_BUILD_H
#define NYSNMP_SRC_MIBS_BUILD_H

#include "mib/mibcodes.h"
#include "nymib.h"

namespace nymibs {

using nymib::kNotAccessible;
using nymib::kReadOnly;
using nymib::kReadWrite;
using nymib::kRegistration;

// The label tables are read-only static data; the tree keeps a plain pointer
// to them and never writes through it.
inline NyMibIntValues* Labels(const NyMibIntValues* table) {
    return const_cast<NyMibIntValues*>(table);
}

} // namespace nymibs

#endif
