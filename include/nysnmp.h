// nysnmp.h - error-reporting base object and the SNMP data model
// (object identifiers, typed values, bindings, PDUs, messages).
#ifndef NYSNMP_H
#define NYSNMP_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "nysnmpmsgs.h"
#include "nysocket.h"

// ---- plain records ---------------------------------------------------------

struct NYSMI_OID {
    uint32_t len;
    uint32_t* ptr;
};

struct NYSMI_OCTETS {
    uint32_t len;
    unsigned char* ptr;
};

struct NYSMI_CNTR64 {
    uint32_t high;
    uint32_t low;
};

struct NYSMI_VALUE {
    uint32_t syntax;
    union {
        int32_t int32;
        uint32_t uint32;
        NYSMI_CNTR64 cntr64;
        NYSMI_OCTETS octets;
        NYSMI_OID oid;
        unsigned char byte;
    } value;
};

// ---- message catalog -------------------------------------------------------

// A message catalog supplied by the host program.  args[0] is the message id,
// args[1] the default text, args[2..13] the twelve inserts.  The result is the
// catalog's text with %1..%12 still as markers, or null when it has none.
class NYNls {
public:
    virtual ~NYNls() = default;
    virtual const char* Lookup(uint32_t id, uint32_t language, const uintptr_t* args) = 0;
};

// ---- error-reporting base object ----------------------------------------------

class NySnmpObject {
public:
    static constexpr uint32_t DefaultLanguage = 1024;

    NySnmpObject();
    NySnmpObject(NYNls* catalog, uint32_t language);
    NySnmpObject(const NySnmpObject& other);
    NySnmpObject& operator=(const NySnmpObject& other);
    virtual ~NySnmpObject();

    virtual const char* ErrorText();
    virtual unsigned int ErrorTextSize();
    virtual void SetErrorText(const char* text);
    virtual const char* FormatText(uint32_t id, const char* defaultText,
                                   const char* i1 = "", const char* i2 = "", const char* i3 = "",
                                   const char* i4 = "", const char* i5 = "", const char* i6 = "",
                                   const char* i7 = "", const char* i8 = "", const char* i9 = "",
                                   const char* i10 = "", const char* i11 = "", const char* i12 = "");
    virtual const char* FormatText(uint32_t id, const char* defaultText, int i1,
                                   const char* i2 = "", const char* i3 = "", const char* i4 = "",
                                   const char* i5 = "", const char* i6 = "", const char* i7 = "",
                                   const char* i8 = "", const char* i9 = "", const char* i10 = "",
                                   const char* i11 = "", const char* i12 = "");
    virtual const char* SysErrorMsg(uint32_t code);

    NYNls* Catalog() const { return m_catalog; }
    uint32_t Language() const { return m_language; }

protected:
    // Formats message `id` on this object and throws it as NySocketException
    // with `thrownBy` and the native error number that goes with the id.
    [[noreturn]] void Raise(const char* thrownBy, uint32_t id, const char* defaultText,
                            const char* i1 = "", const char* i2 = "");
    [[noreturn]] void Raise(const char* thrownBy, uint32_t id, const char* defaultText, int i1,
                            const char* i2 = "");

private:
    NYNls* m_catalog;
    uint32_t m_language;
    std::string m_errorText;
    char* m_formatBuffer;
    int32_t m_formatCapacity;
    char* m_sysBuffer;
    int32_t m_sysCapacity;
};

// ==== BER primitives and typed values ===========================================
// (NySnmpValue)



// ==== object identifiers ========================================================
// (NySnmpOid)



// ==== value sequences, bindings and binding lists ===============================
// (NySnmpValueSeq, NySnmpVar, NySnmpVbl)



// ==== PDUs ======================================================================
// (NySnmpPdu)



// ==== messages, packets and entities ============================================
// (NySnmpMsg, NySnmpPacket, NySnmpEntity)



#endif // NYSNMP_H
