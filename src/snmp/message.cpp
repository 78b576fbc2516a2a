// Community-based SNMP message: SEQUENCE { version, community, PDU }.
#include <vector>

#include "nysnmp.h"

namespace {

constexpr uint32_t kTagInteger = 0x02;
constexpr uint32_t kTagOctets = 0x04;
constexpr uint32_t kTagSequence = 0x30;
constexpr unsigned int kHeaderSize = 4;
constexpr unsigned int kMaxContent = 0xFFFF;

const char* const kAsAsn = "NySnmpMsg::AsAsn";
const char* const kFromAsn = "NySnmpMsg::FromAsn";

}  // namespace

NySnmpMsg::NySnmpMsg() : m_version(0), m_community(DefaultCommunity) {}

// The PDU is copied with Assign, not with its copy constructor: the copy
// constructor leaves the PDU's leading values behind, and for a Trap those are
// its five header fields, without which the copy encodes a broken Trap.
NySnmpMsg::NySnmpMsg(const NySnmpMsg& other)
    : NySnmpObject(other), m_version(other.m_version), m_community(other.m_community), m_params(other.m_params),
      m_sender(other.m_sender), m_receiver(other.m_receiver)
{
    m_pdu.Assign(other.m_pdu);
}

NySnmpMsg::NySnmpMsg(int32_t version, const char* community, const NySnmpPdu& pdu)
    : m_version(version), m_community(community != nullptr ? community : DefaultCommunity)
{
    m_pdu.Assign(pdu);
}

NySnmpMsg& NySnmpMsg::operator=(const NySnmpMsg& other)
{
    if (this == &other)
        return *this;
    NySnmpObject::operator=(other);
    m_version = other.m_version;
    m_community = other.m_community;
    m_params.Destroy();
    m_params.Copy(other.m_params);
    m_pdu.Assign(other.m_pdu);
    m_sender = other.m_sender;
    m_receiver = other.m_receiver;
    return *this;
}

NySnmpMsg::~NySnmpMsg() = default;

void NySnmpMsg::Erase()
{
    m_version = 0;
    m_community = DefaultCommunity;
    m_params.Destroy();
    m_pdu.Erase();
}

int NySnmpMsg::Set(int32_t version, const char* community, const NySnmpPdu& pdu)
{
    m_version = version;
    SetCommunityName(community);
    return m_pdu.Assign(pdu);
}

void NySnmpMsg::SetVersion(int32_t version)
{
    m_version = version;
}

void NySnmpMsg::SetCommunityName(const char* community)
{
    m_community = community != nullptr ? community : DefaultCommunity;
}

void NySnmpMsg::SetPdu(const NySnmpPdu& pdu)
{
    m_pdu.Assign(pdu);
}

int32_t NySnmpMsg::Version() const
{
    return m_version;
}

const char* NySnmpMsg::CommunityName() const
{
    return m_community.c_str();
}

NySnmpValueSeq& NySnmpMsg::Params()
{
    return m_params;
}

NySnmpPdu& NySnmpMsg::Pdu()
{
    return m_pdu;
}

NySnmpEntity& NySnmpMsg::Sender()
{
    return m_sender;
}

NySnmpEntity& NySnmpMsg::Receiver()
{
    return m_receiver;
}

unsigned char* NySnmpMsg::AsAsn(unsigned char* pos, unsigned int* rem)
{
    if (pos == nullptr || rem == nullptr || *rem == 0)
        Raise(kAsAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kAsAsn);

    // Reserve the header (fills it with a zero length for now); it is written
    // again once the content length is known.
    unsigned char* header = pos;
    unsigned int atStart = *rem;
    pos = NySnmpValue::BuildAsnSequence(pos, rem, kTagSequence, 0);

    if (m_params.Size() > 0) {
        pos = m_params.AsAsn(pos, rem);
    } else {
        pos = NySnmpValue::BuildAsnInt(pos, rem, kTagInteger, &m_version, sizeof(int32_t));
        NYSMI_OCTETS community;
        community.len = static_cast<uint32_t>(m_community.size());
        community.ptr = reinterpret_cast<unsigned char*>(m_community.data());
        pos = NySnmpValue::BuildAsnOctets(pos, rem, kTagOctets, &community, sizeof(NYSMI_OCTETS));
    }
    pos = m_pdu.AsAsn(pos, rem, 0);

    unsigned int content = atStart - *rem - kHeaderSize;
    if (content > kMaxContent)
        Raise(kAsAsn, NYSNMP_LENGTH_TOO_LONG, NYSNMP_LENGTH_TOO_LONG_TEXT, kAsAsn);
    unsigned int headerRoom = kHeaderSize;
    NySnmpValue::BuildAsnSequence(header, &headerRoom, kTagSequence, content);
    return pos;
}

const unsigned char* NySnmpMsg::FromAsn(const unsigned char* pos, unsigned int* rem)
{
    Erase();
    if (pos == nullptr || rem == nullptr)
        Raise(kFromAsn, NYSNMP_INVALID_ARG, NYSNMP_INVALID_ARG_TEXT, kFromAsn);

    const unsigned char* end = nullptr;
    bool complete = false;
    try {
        pos = m_params.FromAsn(pos, rem);

        std::vector<NySnmpValue*>& values = m_params.ValueList();
        if (values.size() >= 2 && values[0]->Syntax() == kTagInteger && values[1]->Syntax() == kTagOctets &&
            *rem > 0) {
            m_version = values[0]->SmiValue().value.int32;
            const NYSMI_OCTETS& community = values[1]->SmiValue().value.octets;
            if (community.ptr != nullptr)
                m_community.assign(reinterpret_cast<const char*>(community.ptr), community.len);
            else
                m_community.clear();
            end = m_pdu.FromAsn(pos, rem);
            complete = end != nullptr;
        }
    } catch (...) {
        // Half-decoded leading values would be written back by the next AsAsn.
        m_params.Destroy();
        throw;
    }
    if (!complete) {
        m_params.Destroy();
        Raise(kFromAsn, NYSNMP_INCOMPLETE_MSG, NYSNMP_INCOMPLETE_MSG_TEXT, kFromAsn);
    }
    return end;
}

int NySnmpMsg::AsnPktLen(const unsigned char* pos, unsigned int available)
{
    return NySnmpPdu::AsnPktLen(pos, available);
}
