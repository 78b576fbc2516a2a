// Internal: raising the library's exception from code that has no
// NySnmpObject of its own (static BER primitives, MIB nodes, entities).
#ifndef NYSNMP_SRC_RAISE_H
#define NYSNMP_SRC_RAISE_H

#include <cstdint>

// Formats the message on a temporary NySnmpObject (no catalog) and throws it.
[[noreturn]] void NyRaise(const char* thrownBy, uint32_t id, const char* defaultText,
                          const char* i1 = "", const char* i2 = "");
[[noreturn]] void NyRaise(const char* thrownBy, uint32_t id, const char* defaultText, int i1,
                          const char* i2 = "");

#endif
