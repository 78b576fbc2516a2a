// Hex strings <-> octet vectors for wire-level test tables.
#ifndef NYSNMP_TESTS_HEX_H
#define NYSNMP_TESTS_HEX_H

#include <cstddef>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// "30 82 00 05" or "30820005" -> octets.  Throws std::invalid_argument on bad text.
Bytes Hex(const std::string& text);
// Octets -> "30 82 00 05" (upper case, blank separated).
std::string ToHex(const unsigned char* data, size_t length);
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

#endif
