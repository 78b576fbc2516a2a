// NySnmpPdu: construction, copying, accessors and the encoder.
#include "nysnmp.h"
#include "snmp/constructed.h"

namespace {

const char kAsAsn[] = "NySnmpPdu::AsAsn";
constexpr uint32_t kInteger = 0x02;

} // namespace

NySnmpPdu::NySnmpPdu()
    : m_type(0), m_requestId(0), m_errorStatus(0), m_errorIndex(0), m_encodeArg(0), m_sOut(0)
{
}

NySnmpPdu::NySnmpPdu(const NySnmpPdu& other)
    : NySnmpObject(other), m_type(other.PduType()), m_requestId(other.RequestId()),
      m_errorStatus(other.ErrorStatus()), m_errorIndex(other.ErrorIndex()), m_encodeArg(0), m_sOut(0),
      m_vars(other.m_vars)
{
}

NySnmpPdu::NySnmpPdu(int32_t type, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                     const NySnmpVbl& vars)
    : m_type(type), m_requestId(requestId), m_errorStatus(errorStatus), m_errorIndex(errorIndex),
      m_encodeArg(0), m_sOut(0), m_vars(vars)
{
}

NySnmpPdu& NySnmpPdu::operator=(const NySnmpPdu& other)
{
    if (this != &other) {
        // Copy first so that a failure leaves this PDU untouched.
        NySnmpValueSeq params(other.m_params);
        NySnmpVbl vars(other.m_vars);
        NySnmpObject::operator=(other);
        m_type = other.m_type;
        m_requestId = other.m_requestId;
        m_errorStatus = other.m_errorStatus;
        m_errorIndex = other.m_errorIndex;
        m_encodeArg = other.m_encodeArg;
        m_sOut = other.m_sOut;
        // The old elements leave with the two locals.
        m_params.ValueList().swap(params.ValueList());
        m_vars.VarList().swap(vars.VarList());
    }
    return *this;
}

NySnmpPdu::~NySnmpPdu() = default;

void NySnmpPdu::Erase()
{
    m_type = 0;
    m_requestId = 0;
    m_errorStatus = 0;
    m_errorIndex = 0;
    m_params.Destroy();
    m_vars.Destroy();
}

int NySnmpPdu::Assign(const NySnmpPdu& source)
{
    if (&source == this)
        return 0;
    Erase();
    m_type = source.PduType();
    m_requestId = source.RequestId();
    m_errorStatus = source.ErrorStatus();
    m_errorIndex = source.ErrorIndex();
    const int params = m_params.Copy(source.m_params);
    const int vars = m_vars.Copy(source.m_vars);
    // A failed copy of Params must not be hidden by a good copy of Vars.
    return params != 0 ? params : vars;
}

int NySnmpPdu::Set(int32_t type, int32_t requestId, int32_t errorStatus, int32_t errorIndex,
                   const NySnmpVbl& vars)
{
    m_type = type;
    m_requestId = requestId;
    m_errorStatus = errorStatus;
    m_errorIndex = errorIndex;
    return m_vars.Copy(vars);
}

void NySnmpPdu::SetPduType(int32_t type)
{
    m_type = type;
}

void NySnmpPdu::SetRequestId(int32_t requestId)
{
    m_requestId = requestId;
}

void NySnmpPdu::SetErrorStatus(int32_t errorStatus)
{
    m_errorStatus = errorStatus;
}

void NySnmpPdu::SetErrorIndex(int32_t errorIndex)
{
    m_errorIndex = errorIndex;
}

void NySnmpPdu::SetVbl(const NySnmpVbl& vars)
{
    m_vars.Copy(vars);
}

int32_t NySnmpPdu::PduType() const
{
    return m_type;
}

int32_t NySnmpPdu::RequestId() const
{
    return m_requestId;
}

int32_t NySnmpPdu::ErrorStatus() const
{
    return m_errorStatus;
}

int32_t NySnmpPdu::ErrorIndex() const
{
    return m_errorIndex;
}

NySnmpValueSeq& NySnmpPdu::Params()
{
    return m_params;
}

NySnmpVbl& NySnmpPdu::Vars()
{
    return m_vars;
}

unsigned char* NySnmpPdu::AsAsn(unsigned char* pos, unsigned int* rem, int32_t argument)
{
    if (pos == nullptr || rem == nullptr || *rem == 0)
        Raise(kAsAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kAsAsn);
    m_encodeArg = argument;

    NyConstructedHeader header(pos, rem);
    unsigned char* p = header.Content();
    if (m_params.Size() > 0) {
        p = m_params.AsAsn(p, rem);
    } else {
        p = NySnmpValue::BuildAsnInt(p, rem, kInteger, &m_requestId, sizeof m_requestId);
        p = NySnmpValue::BuildAsnInt(p, rem, kInteger, &m_errorStatus, sizeof m_errorStatus);
        p = NySnmpValue::BuildAsnInt(p, rem, kInteger, &m_errorIndex, sizeof m_errorIndex);
    }
    p = m_vars.AsAsn(p, rem);
    if (!header.Close(static_cast<uint32_t>(m_type)))
        Raise(kAsAsn, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT);
    return p;
}
