// Single values and binding lists from the wire: decoding, the text form,
// deep copies, and the encoder over whatever the decoder accepted.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NySnmpValue value;
    const unsigned char* end = nullptr;
    if (DecodeInput(value, data, size, &end)) {
        FUZZ_REQUIRE(end > data && value.Syntax() == data[0]);
        // Every value that can arrive can be shown (a refusal ends the run).
        FUZZ_REQUIRE(value.AsString() != nullptr);
        NySnmpValue copy(value), assigned;
        assigned = value;
        FUZZ_REQUIRE(SameValue(copy, value) && SameValue(assigned, value));
        RoundTrip(value, [](NySnmpValue& a, NySnmpValue& b) { return SameValue(a, b); });
    }
    NySnmpVbl vbl;
    if (DecodeInput(vbl, data, size)) {
        NySnmpVbl copy(vbl);
        FUZZ_REQUIRE(SameVbl(copy, vbl));
        RoundTrip(vbl, [](NySnmpVbl& a, NySnmpVbl& b) { return SameVbl(a, b); });
    }
    return 0;
}
