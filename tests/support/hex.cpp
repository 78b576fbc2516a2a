#include "support/hex.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

Bytes Hex(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            digits += c;
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("bad hex text: " + text);
    Bytes out;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
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
