// Writing the tree as SMIv1 MIB module text (OBJECT-TYPE, TRAP-TYPE,
// OBJECT IDENTIFIER assignments and SEQUENCE types).
//
// Every write is checked: the first one the stream refuses ends the printing
// with -1, leaving what was written so far in the stream.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "nymib.h"
#include "mib/mibcodes.h"

using namespace nymib;

namespace {

// Descriptions are cut into lines of at most this many characters.
constexpr size_t kDescriptionWidth = 40;

const char* Str(const char* text) { return text ? text : ""; }

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
bool Put(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int written = vfprintf(stream, format, args);
    va_end(args);
    return written >= 0;
}

bool IsEnterprises(const NyMibObject& node) {
    return std::strcmp(Str(node.Name()), "enterprises") == 0;
}

bool PutDescription(FILE* stream, const char* text) {
    if (!Put(stream, "        DESCRIPTION      \""))
        return false;
    const size_t length = std::strlen(text);
    size_t pos = 0;
    bool first = true;
    while (pos < length) {
        size_t take = length - pos;
        if (take >= kDescriptionWidth) {
            take = kDescriptionWidth;
            // End the line just after its last blank, when it has one.
            for (size_t i = kDescriptionWidth; i > 0; --i) {
                if (text[pos + i - 1] == ' ') {
                    take = i;
                    break;
                }
            }
        }
        if (!first && !Put(stream, "\n"))
            return false;
        if (!Put(stream, first ? "%.*s" : "                         %.*s", static_cast<int>(take),
                 text + pos))
            return false;
        first = false;
        pos += take;
    }
    return Put(stream, "\"\n");
}

const char* AccessWord(int access) {
    switch (access) {
    case kReadOnly:
        return "read-only\n";
    case kReadWrite:
        return "read-write\n";
    case kWriteOnly:
        return "write-only\n";
    default:
        return "not-accessible\n";
    }
}

const char* SyntaxWord(uint32_t syntax) {
    switch (syntax) {
    case 2:
        return "INTEGER";
    case 3:
        return "OCTET BITS";
    case 4:
        return "OCTET STRING";
    case 5:
        return "NULL";
    case 6:
        return "OBJECT IDENTIFIER";
    case 64:
        return "IpAddress";
    case 65:
        return "Counter";
    case 66:
        return "Gauge";
    case 67:
        return "TimeTicks";
    case 68:
        return "Opaque";
    case 69:
        return "NSAPADDR";
    case 70:
        return "CNTR64";
    case 71:
        return "UINT32";
    case 128:
        return "NOSUCHOBJECT";
    case 129:
        return "NOSUCHINSTANCE";
    case 130:
        return "ENDOFMIBVIEW";
    default:
        return nullptr;
    }
}

} // namespace

int NyMibObject::Print(FILE* stream) {
    if (!stream)
        stream = stdout;
    // The enterprises node belongs to the standard SMI module; a product
    // module imports it and only defines what lies below.
    if (IsEnterprises(*this))
        return 0;

    if (Syntax() == kRegistration) {
        if (PrintAsIdentifier(stream) < 0)
            return -1;
        for (NyMibObject* child : Children()) {
            if (child->Print(stream) < 0)
                return -1;
        }
        return 0;
    }

    if (!Put(stream, "\n    %-20s OBJECT-TYPE \n", Str(Name())) ||
        !Put(stream, "        SYNTAX           ") || PrintSyntaxName(stream, true) < 0 ||
        !Put(stream, "\n        ACCESS           ") ||
        !Put(stream, "%s", AccessWord(Access())) ||
        !Put(stream, "        STATUS           mandatory\n"))
        return -1;

    const char* description = Str(Description());
    if (*description && !PutDescription(stream, description))
        return -1;

    if (Syntax() == kAggregate || Syntax() == kTableRow) {
        std::string index;
        for (NyMibObject* child : Children()) {
            if (!child->IsAnIndex())
                continue;
            if (!index.empty())
                index += ", ";
            index += Str(child->Name());
        }
        if (!index.empty() && !Put(stream, "        INDEX            { %s }\n", index.c_str()))
            return -1;
    }

    const NyMibObject* parent = Parent();
    bool placed = parent ? Put(stream, "        ::= { %s %d }\n", Str(parent->Name()),
                               static_cast<int>(SubId()))
                         : Put(stream, "        ::= { %s }\n\n", Str(OidText()));
    return placed ? 0 : -1;
}

int NyMibObject::PrintSyntaxName(FILE* stream, bool withValues) {
    if (!stream)
        stream = stdout;

    bool ok;
    const char* word = SyntaxWord(Syntax());
    const char* typeName = Str(TypeName());
    const char* entryTypeName = Str(EntryTypeName());
    if (word) {
        ok = Put(stream, "%s", word);
    } else if (Syntax() == kAggregate) {
        ok = Put(stream, "%s", *typeName ? typeName : "AGGREGATE");
    } else if (Syntax() == kTable) {
        ok = *entryTypeName ? Put(stream, "SEQUENCE OF %s", entryTypeName)
                            : Put(stream, "SEQUENCE");
    } else {
        ok = Put(stream, "%s", *typeName ? typeName : "UNKNOWN");
    }
    if (!ok)
        return -1;

    const NyMibIntValues* values = IntValues();
    if (!withValues || !values)
        return 0;
    if (!Put(stream, "{\n"))
        return -1;
    for (const NyMibIntValues* value = values; value->label; ++value) {
        if (!Put(stream, "%33s%s(%d)%s", "", value->label, static_cast<int>(value->value),
                 value[1].label ? ",\n" : "\n"))
            return -1;
    }
    return Put(stream, "%33s", "}") ? 0 : -1;
}

int NyMibObject::PrintAsIdentifier(FILE* stream) {
    if (!stream)
        stream = stdout;
    if (!Put(stream, "    %-20s ", Str(Name())))
        return -1;
    const NyMibObject* parent = Parent();
    bool ok = parent ? Put(stream, "OBJECT IDENTIFIER ::= { %s %d }\n", Str(parent->Name()),
                           static_cast<int>(SubId()))
                     : Put(stream, "OBJECT IDENTIFIER ::= { %s }\n", Str(OidText()));
    return ok ? 0 : -1;
}

int NyMibSequence::Print(FILE* stream) {
    if (!stream)
        stream = stdout;
    if (IsEnterprises(*this))
        return 0;
    if (!Put(stream, "\n") || NyMibObject::Print(stream) < 0)
        return -1;

    const char* entryTypeName = Str(EntryTypeName());
    if (*entryTypeName) {
        if (!Put(stream, "\n    %-12s ::= SEQUENCE {\n", entryTypeName))
            return -1;
        bool first = true;
        for (NyMibObject* child : Children()) {
            if (child->Syntax() == kRegistration || child->Syntax() == kAggregate)
                continue;
            if (!first && !Put(stream, ",\n"))
                return -1;
            first = false;
            if (!Put(stream, "%-20s %-30s ", "", Str(child->Name())) ||
                child->PrintSyntaxName(stream, false) < 0)
                return -1;
        }
        if (!Put(stream, "\n%-20s }\n\n", ""))
            return -1;
    }

    for (NyMibObject* child : Children()) {
        if (child->Print(stream) < 0)
            return -1;
    }
    return 0;
}

int NyMibTable::Print(FILE* stream) {
    if (!stream)
        stream = stdout;
    if (IsEnterprises(*this))
        return 0;
    if (!Put(stream, "\n") || NyMibObject::Print(stream) < 0)
        return -1;
    for (NyMibObject* row : Children()) {
        if (row->Print(stream) < 0)
            return -1;
    }
    return 0;
}

int NyMibTrap::Print(FILE* stream) {
    if (!stream)
        stream = stdout;
    if (IsEnterprises(*this))
        return 0;

    const NyMibObject* parent = Parent();
    if (!Put(stream, "\n    %-20s TRAP-TYPE \n", Str(Name())) ||
        !Put(stream, "        ENTERPRISE       %s\n",
             parent ? Str(parent->Name()) : "PARENT-NODE-NAME"))
        return -1;

    if (!Children().empty()) {
        if (!Put(stream, "        VARIABLES        {\n"))
            return -1;
        bool first = true;
        for (NyMibObject* variable : Children()) {
            if (!first && !Put(stream, ",\n"))
                return -1;
            first = false;
            if (!Put(stream, "                         %s", Str(variable->Name())))
                return -1;
        }
        if (!Put(stream, "\n                         }\n"))
            return -1;
    }

    const char* description = Str(Description());
    if (*description && !PutDescription(stream, description))
        return -1;
    return Put(stream, "        ::= %d\n", static_cast<int>(SubId())) ? 0 : -1;
}
