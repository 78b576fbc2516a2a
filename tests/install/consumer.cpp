// Built from the installed headers and libraries only.
#include <cstdio>

#include "nysnmp.h"

int main()
{
    NySnmpObject object;
    const char* text = object.FormatText(NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, "consumer");
    std::printf("%s\n", text);
    return 0;
}
