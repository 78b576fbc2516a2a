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

// One SNMP value with its syntax, plus the BER codec every data class uses.
//
// BER primitives: `pos` is where to write or read, `*rem` the count of octets
// still free (builders) or unread (parsers) from there.  On success the count
// is reduced by exactly what was consumed and the position after it returned.
// Every failure throws NySocketException; parsers then leave their outputs and
// the count untouched and never read past `*rem` octets.  Builders may have
// written a prefix before they fail; the caller throws the buffer away.
//
// Octet and sub-identifier arrays handed out by ParseAsnOctets / ParseAsnOid
// (and owned by NySnmpValue / NySnmpOid) are allocated with ::operator new
// and released with ::operator delete.
class NySnmpValue : public NySnmpObject {
public:
    NySnmpValue();
    NySnmpValue(const NYSMI_VALUE& value);
    NySnmpValue(const NySnmpValue& other);
    NySnmpValue& operator=(const NySnmpValue& other);
    ~NySnmpValue() override;

    virtual int Assign(const NYSMI_VALUE& value);
    virtual int SetInt32(int32_t value);
    virtual int SetInt(int32_t value);
    virtual int SetUInt32(uint32_t value);
    virtual int SetCntr32(uint32_t value);
    virtual int SetGauge32(uint32_t value);
    virtual int SetTimeticks(uint32_t value);
    virtual int SetCntr64(const NYSMI_CNTR64& value);
    virtual int SetOctets(const NYSMI_OCTETS& value);
    virtual int SetBits(const NYSMI_OCTETS& value);
    virtual int SetOpaque(const NYSMI_OCTETS& value);
    virtual int SetIpAddr(const NYSMI_OCTETS& value);
    virtual int SetNsapAddr(const NYSMI_OCTETS& value);
    virtual int SetOid(const NYSMI_OID& value);
    virtual int SetNull(unsigned char value);
    virtual int SetNoSuchObject(unsigned char value);
    virtual int SetNoSuchInstance(unsigned char value);
    virtual int SetEndOfMibView(unsigned char value);
    virtual void Erase();
    virtual uint32_t Syntax() const;
    virtual const NYSMI_VALUE& SmiValue() const;
    virtual NYSMI_VALUE& SmiValue();
    virtual const char* AsString();
    virtual const char* SyntaxName() const;
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    static unsigned char* BuildAsnHeader(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                         unsigned int length);
    static unsigned char* BuildAsnLength(unsigned char* pos, unsigned int* rem, unsigned int length);
    static const unsigned char* ParseAsnLength(const unsigned char* pos, unsigned int* rem,
                                               unsigned int& length);
    static unsigned char* BuildAsnSequence(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                           unsigned int length);
    static const unsigned char* ParseAsnSequence(const unsigned char* pos, unsigned int* rem,
                                                 uint32_t& tag, unsigned int& length);
    static unsigned char* BuildAsnInt(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                      const int32_t* value, unsigned int size);
    static const unsigned char* ParseAsnInt(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                            int32_t& value);
    static unsigned char* BuildAsnUInt(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                       const uint32_t* value, unsigned int size);
    static const unsigned char* ParseAsnUInt(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                             uint32_t& value);
    static unsigned char* BuildAsnCntr64(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                         const NYSMI_CNTR64* value, unsigned int size);
    static const unsigned char* ParseAsnCntr64(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                               NYSMI_CNTR64& value);
    static unsigned char* BuildAsnOctets(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                         const NYSMI_OCTETS* value, unsigned int size);
    static const unsigned char* ParseAsnOctets(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                               NYSMI_OCTETS& value);
    static unsigned char* BuildAsnOid(unsigned char* pos, unsigned int* rem, uint32_t tag,
                                      const NYSMI_OID* value, unsigned int size);
    static const unsigned char* ParseAsnOid(const unsigned char* pos, unsigned int* rem, uint32_t& tag,
                                            NYSMI_OID& value);
    static unsigned char* BuildAsnNull(unsigned char* pos, unsigned int* rem, uint32_t tag);
    static const unsigned char* ParseAsnNull(const unsigned char* pos, unsigned int* rem, uint32_t& tag);

private:
    int SetStringMember(uint32_t syntax, const NYSMI_OCTETS& value);

    NYSMI_VALUE m_value;
    std::string m_text;
};

// ==== object identifiers ========================================================
// (NySnmpOid)

// An object identifier: unsigned 32-bit sub-identifiers, dotted text, the
// ordering the MIB tree's lookups use, and the BER form.  Length 0 if and only
// if the array pointer is null.
class NySnmpOid : public NySnmpObject {
public:
    NySnmpOid();
    NySnmpOid(const NYSMI_OID& oid);
    NySnmpOid(const char* text);
    NySnmpOid(const NySnmpOid& other);
    NySnmpOid& operator=(const NySnmpOid& other);
    ~NySnmpOid() override;

    virtual int Assign(const char* text);
    virtual int Assign(const NYSMI_OID& oid);
    virtual void Erase();
    virtual NYSMI_OID& SmiOid();
    virtual const NYSMI_OID& SmiOid() const;
    virtual uint32_t Length() const;
    virtual uint32_t* Fields() const;
    virtual const char* AsString();
    // -1, 0 or 1.  n = 0: full order (a prefix sorts first).  n > 0 and not
    // beyond either length: whether the first n sub-identifiers agree.
    virtual int Compare(const NySnmpOid& other, int n) const;
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

private:
    NYSMI_OID m_oid;
    std::string m_text;
};


// ==== value sequences, bindings and binding lists ===============================
// (NySnmpValueSeq, NySnmpVar, NySnmpVbl)



// ==== PDUs ======================================================================
// (NySnmpPdu)



// ==== messages, packets and entities ============================================
// (NySnmpMsg, NySnmpPacket, NySnmpEntity)

#include <sys/socket.h>

class NyAsyncSocket;

// Raw octets of a packet.  `length` is how many of the `size` allocated octets are
// in use; the user of the packet keeps it current (Trim relies on it).
struct NySnmpBuffer {
    uint32_t size;
    uint32_t length;
    uint32_t reserved;
    unsigned char* data;
};

// An SNMP endpoint: an IPv4 socket address and the socket it is reached through
// (not owned; the library only stores the pointer).
class NySnmpEntity {
public:
    NySnmpEntity();
    NySnmpEntity(const NySnmpEntity& other);
    NySnmpEntity(const sockaddr& address, const NyAsyncSocket* socket);
    NySnmpEntity& operator=(const NySnmpEntity& other);
    virtual ~NySnmpEntity();

    virtual void Copy(const NySnmpEntity& other);
    // Dotted-decimal host, else a name for the resolver.  Returns 0; failures throw
    // NySocketException and leave the address all zero.
    virtual int SetSockAddr(unsigned int port, const char* host);
    virtual int SetSockAddr(const sockaddr& address);
    virtual void SetSocket(const NyAsyncSocket* socket);
    virtual sockaddr& SockAddr();
    virtual const sockaddr& SockAddr() const;
    virtual const NyAsyncSocket* Socket() const;

private:
    sockaddr m_address;
    const NyAsyncSocket* m_socket;
};

// A raw packet buffer with the addresses it travels between.  Copies duplicate
// the buffer: two packets never own the same octets.
class NySnmpPacket {
public:
    explicit NySnmpPacket(unsigned int size = 0);
    NySnmpPacket(const sockaddr& sender, const sockaddr& receiver, unsigned int size = 0);
    NySnmpPacket(const NySnmpPacket& other);
    NySnmpPacket& operator=(const NySnmpPacket& other);
    virtual ~NySnmpPacket();

    // Drops the old buffer and allocates `size` zeroed octets (none for 0).
    virtual void Allocate(unsigned int size);
    // Shrinks the buffer to the octets in use (0 < length < size).
    virtual void Trim();
    virtual sockaddr& Sender();
    virtual sockaddr& Receiver();
    virtual NySnmpBuffer& Buffer();

private:
    void Release();

    sockaddr m_sender;
    sockaddr m_receiver;
    NySnmpBuffer m_buffer;
};




#endif // NYSNMP_H
