#include "support/hex.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw std::invalid_argument("bad hex text: " + text);
        int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10);
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<unsigned char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits: " + text);
    return out;
}

std::string ToHex(const unsigned char* data, size_t length)
{
    std::string out;
    char octet[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(octet, sizeof octet, i == 0 ? "%02X" : " %02X", data[i]);
        out += octet;
    }
    return out;
}
