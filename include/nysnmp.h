// nysnmp.h - error-reporting base object and the SNMP data model
// (object identifiers, typed values, bindings, PDUs, messages).
#ifndef NYSNMP_H
#define NYSNMP_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "nyexport.h"
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
class NYSNMP_API NYNls {
public:
    virtual ~NYNls() = default;
    virtual const char* Lookup(uint32_t id, uint32_t language, const uintptr_t* args) = 0;
};

// ---- error-reporting base object ----------------------------------------------

class NYSNMP_API NySnmpObject {
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
class NYSNMP_API NySnmpValue : public NySnmpObject {
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
class NYSNMP_API NySnmpOid : public NySnmpObject {
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

#include <vector>

// An ordered list of typed values: the run of simple values that opens the
// encoding of a PDU or a message.  The sequence owns its elements: Append and
// the single-value constructor adopt the very object they are given (it must
// come from new), and Set, Delete, Destroy and the destructor delete them.
// Positions count from 1.  Range and allocation failures are result codes
// (message ids), not exceptions.
class NYSNMP_API NySnmpValueSeq : public NySnmpObject {
public:
    NySnmpValueSeq();
    NySnmpValueSeq(const NySnmpValueSeq& other);
    explicit NySnmpValueSeq(NySnmpValue& value);
    // Deep copy; on failure the target is left as it was.
    NySnmpValueSeq& operator=(const NySnmpValueSeq& other);
    ~NySnmpValueSeq() override;

    virtual int Copy(const NySnmpValueSeq& source);
    virtual int Append(NySnmpValue& value);
    virtual int Set(uint32_t position, NySnmpValue& value);
    virtual int Delete(uint32_t position);
    virtual void Destroy();
    virtual unsigned int Size() const;
    virtual NySnmpValue* GetFirst();
    virtual NySnmpValue* GetNext();
    virtual NySnmpValue* Get(uint32_t position);
    virtual std::vector<NySnmpValue*>& ValueList();
    // The values' own encodings back to back, no header of their own.
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    // Reads a constructed header (any tag) and the simple values after it, up
    // to the first nested constructed or context-class element; returns where
    // it stopped.  Decoded values are appended after those already held.
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    const std::vector<NySnmpValue*>& ValueList() const { return m_values; }

private:
    std::vector<NySnmpValue*> m_values;
    uint32_t m_cursor;
};

// One variable binding: an object identifier and a value, both held by value.
class NYSNMP_API NySnmpVar : public NySnmpObject {
public:
    NySnmpVar();
    NySnmpVar(const NySnmpVar& other);
    NySnmpVar(const NySnmpOid& oid, const NySnmpValue& value);
    NySnmpVar& operator=(const NySnmpVar& other);
    ~NySnmpVar() override;

    virtual int Assign(const NySnmpOid& oid, const NySnmpValue& value);
    virtual int Assign(const NySnmpVar& other);
    virtual NySnmpOid& Oid();
    virtual NySnmpValue& Value();
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    const NySnmpOid& Oid() const { return m_oid; }
    const NySnmpValue& Value() const { return m_value; }

private:
    NySnmpOid m_oid;
    NySnmpValue m_value;
};

// The variable-binding list of a PDU.  Unlike NySnmpValueSeq it stores copies:
// Append, Set with position 0 and the single-binding constructor copy the
// binding they are given, and the caller keeps its own object.  Positions
// count from 1; a bad position throws.
class NYSNMP_API NySnmpVbl : public NySnmpObject {
public:
    NySnmpVbl();
    NySnmpVbl(const NySnmpVbl& other);
    explicit NySnmpVbl(const NySnmpVar& var);
    // Deep copy; on failure the target is left as it was.
    NySnmpVbl& operator=(const NySnmpVbl& other);
    ~NySnmpVbl() override;

    virtual int Copy(const NySnmpVbl& source);
    virtual int Append(const NySnmpVar& var);
    virtual int Set(uint32_t position, const NySnmpVar& var);
    virtual int Delete(uint32_t position);
    virtual void Destroy();
    virtual unsigned int Size() const;
    virtual NySnmpVar* GetFirst();
    virtual NySnmpVar* GetNext();
    virtual NySnmpVar* Get(uint32_t position);
    virtual std::vector<NySnmpVar*>& VarList();
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    const std::vector<NySnmpVar*>& VarList() const { return m_vars; }

private:
    std::vector<NySnmpVar*> m_vars;
    uint32_t m_cursor;
};


// ==== PDUs ======================================================================
// (NySnmpPdu)

// One PDU: the SNMP PDUs of versions 1 and 2c and the SMUX PDUs.  The decoder
// files the leading values either into the four numbers (Get, GetNext,
// Response, Set, GetBulk) or into Params (every other shape); the encoder
// writes Params when it holds values and the three integers otherwise, then
// the binding list.
class NYSNMP_API NySnmpPdu : public NySnmpObject {
public:
    NySnmpPdu();
    // Copies the four numbers and the bindings; Params starts empty.
    NySnmpPdu(const NySnmpPdu& other);
    NySnmpPdu(int32_t type, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
              const NySnmpVbl& vars);
    // Full deep copy (numbers, SOut value, Params and bindings); on failure the
    // target is left as it was.
    NySnmpPdu& operator=(const NySnmpPdu& other);
    ~NySnmpPdu() override;

    virtual void Erase();
    virtual int Assign(const NySnmpPdu& source);
    virtual int Set(int32_t type, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                    const NySnmpVbl& vars);
    virtual void SetPduType(int32_t type);
    virtual void SetRequestId(int32_t requestId);
    virtual void SetErrorStatus(int32_t errorStatus);
    virtual void SetErrorIndex(int32_t errorIndex);
    virtual void SetVbl(const NySnmpVbl& vars);
    virtual int32_t PduType() const;
    virtual int32_t RequestId() const;
    virtual int32_t ErrorStatus() const;
    virtual int32_t ErrorIndex() const;
    virtual NySnmpValueSeq& Params();
    virtual NySnmpVbl& Vars();
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem, int32_t argument);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    const NySnmpValueSeq& Params() const { return m_params; }
    const NySnmpVbl& Vars() const { return m_vars; }
    // Value of the last decoded SOutPDU: 0 commit, 1 rollback.
    int32_t SOutValue() const { return m_sOut; }
    // The third argument of the last AsAsn call.
    int32_t EncodeArgument() const { return m_encodeArg; }

    // Length of the BER element at `pos` counting its tag and length octets,
    // from the `available` octets there: -1 for a null position, 0 while the
    // length octets are not all there, otherwise the full length, which may be
    // above `available` (not complete yet).  Never reads past `available`;
    // a length that does not fit an int gives INT_MAX.  A length field that
    // BER refuses throws.
    static int AsnPktLen(const unsigned char* pos, unsigned int available);

private:
    int32_t m_type;
    int32_t m_requestId;
    int32_t m_errorStatus;
    int32_t m_errorIndex;
    int32_t m_encodeArg;
    int32_t m_sOut;
    NySnmpValueSeq m_params;
    NySnmpVbl m_vars;
};


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
class NYSNMP_API NySnmpEntity {
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
class NYSNMP_API NySnmpPacket {
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

// A community-based SNMP message: version, community and PDU in a SEQUENCE.
//
// `Params` holds the leading values of the last decoded message (version and
// community, as received).  While it holds values, AsAsn writes them instead of
// Version() and CommunityName(), so a decoded message is sent back as it came.
class NYSNMP_API NySnmpMsg : public NySnmpObject {
public:
    static constexpr const char* DefaultCommunity = "orchid";

    NySnmpMsg();
    NySnmpMsg(const NySnmpMsg& other);
    NySnmpMsg(int32_t version, const char* community, const NySnmpPdu& pdu);
    NySnmpMsg& operator=(const NySnmpMsg& other);
    ~NySnmpMsg() override;

    virtual void Erase();
    virtual int Set(int32_t version, const char* community, const NySnmpPdu& pdu);
    virtual void SetVersion(int32_t version);
    virtual void SetCommunityName(const char* community);
    virtual void SetPdu(const NySnmpPdu& pdu);
    virtual int32_t Version() const;
    virtual const char* CommunityName() const;
    virtual NySnmpValueSeq& Params();
    virtual NySnmpPdu& Pdu();
    virtual NySnmpEntity& Sender();
    virtual NySnmpEntity& Receiver();
    virtual unsigned char* AsAsn(unsigned char* pos, unsigned int* rem);
    virtual const unsigned char* FromAsn(const unsigned char* pos, unsigned int* rem);

    // Length of the BER element at `pos` (tag and length octets included), 0 while
    // fewer octets are available than needed to tell, -1 for a null position.
    static int AsnPktLen(const unsigned char* pos, unsigned int available);

    const NySnmpValueSeq& Params() const { return m_params; }
    const NySnmpPdu& Pdu() const { return m_pdu; }
    const NySnmpEntity& Sender() const { return m_sender; }
    const NySnmpEntity& Receiver() const { return m_receiver; }

private:
    int32_t m_version;
    std::string m_community;
    NySnmpValueSeq m_params;
    NySnmpPdu m_pdu;
    NySnmpEntity m_sender;
    NySnmpEntity m_receiver;
};




#endif // NYSNMP_H
