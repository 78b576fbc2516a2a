// Single values and binding lists from the wire: decoding, the text form,
// deep copies, and the encoder over whatever the decoder accepted.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"

namespace {

void OneValue(const uint8_t* data, size_t size)
{
    NySnmpValue value;
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* end = nullptr;
    try {
        end = value.FromAsn(data, &rem);
    } catch (const NySocketException&) {
        return;
    }
    FUZZ_REQUIRE(end != nullptr && end > data && end <= data + size);
    FUZZ_REQUIRE(static_cast<size_t>(end - data) + rem == size);
    FUZZ_REQUIRE(value.Syntax() == data[0]);
    // Every value that can arrive can be shown.
    try {
        FUZZ_REQUIRE(value.AsString() != nullptr);
    } catch (const NySocketException& e) {
        std::fprintf(stderr, "decoded value not shown: %s\n", e.Text());
        std::abort();
    }
    NySnmpValue copy(value);
    FUZZ_REQUIRE(SameValue(copy, value));
    NySnmpValue assigned;
    assigned = value;
    FUZZ_REQUIRE(SameValue(assigned, value));

    Octets first;
    if (!EncodeTo(value, first))
        return;
    NySnmpValue again;
    DecodeOwn(again, first);
    FUZZ_REQUIRE(SameValue(again, value));
    Octets second;
    FUZZ_REQUIRE(EncodeTo(again, second));
    FUZZ_REQUIRE(second == first);
}

void BindingList(const uint8_t* data, size_t size)
{
    NySnmpVbl vbl;
    unsigned int rem = static_cast<unsigned int>(size);
    const unsigned char* end = nullptr;
    try {
        end = vbl.FromAsn(data, &rem);
    } catch (const NySocketException&) {
        return;
    }
    FUZZ_REQUIRE(end != nullptr && end >= data && end <= data + size);
    FUZZ_REQUIRE(static_cast<size_t>(end - data) + rem == size);
    NySnmpVbl copy(vbl);
    FUZZ_REQUIRE(SameVbl(copy, vbl));

    Octets first;
    if (!EncodeTo(vbl, first))
        return;
    NySnmpVbl again;
    DecodeOwn(again, first);
    FUZZ_REQUIRE(SameVbl(again, vbl));
    Octets second;
    FUZZ_REQUIRE(EncodeTo(again, second));
    FUZZ_REQUIRE(second == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    OneValue(data, size);
    BindingList(data, size);
    return 0;
}
