// The MIB tree of the test host programs: scalars of several syntaxes, a
// write-only scalar, a node that reads as absent, and a table whose rows are
// created out of instance order, with a not-accessible index column.
#ifndef NYSNMP_TESTS_SMUX_HOST_TREE_H
#define NYSNMP_TESTS_SMUX_HOST_TREE_H

#include <memory>
#include <string>
#include <vector>

#include "support/mib_types.h"

#define HOST_BASE "1.3.6.1.4.1.32473.99"

struct HostRow {
    NyMibTableEntry entry;
    MibInt index;     // column 1, the row's instance, not accessible
    MibOctets label;  // column 2, read-write
    MibGauge load;    // column 3, read-only

    HostRow(NyMibTable& table, int instance, const std::string& text, uint32_t value)
        : entry("hostEntry", table, 1), index("hostIndex", entry, 1, kNoAccess),
          label("hostLabel", entry, 2, kReadWrite), load("hostLoad", entry, 3, kReadOnly)
    {
        index.UseAsIndex(true);
        table.UpdateChildren();
        entry.SetInstanceNumber(instance);
        index.value() = instance;
        label.value() = text;
        load.value() = value;
    }
};

struct HostTree {
    std::vector<NyMibObject*> tops;
    NyMibObject base{"hostBase", HOST_BASE, &tops, 289, kNoAccess};
    MibInt level{"hostLevel", base, 1, kReadWrite};
    MibOctets name{"hostName", base, 2, kReadOnly};
    MibCounter hits{"hostHits", base, 3, kReadOnly};
    MibGauge queue{"hostQueue", base, 4, kReadWrite};
    MibTicks since{"hostSince", base, 5, kReadOnly};
    MibOid kind{"hostKind", base, 6, kReadOnly};
    MibIpAddr address{"hostAddress", base, 7, kReadOnly};
    MibCounter64 bytes{"hostBytes", base, 8, kReadOnly};
    MibInt secret{"hostSecret", base, 9, kWriteOnly};
    MibNoSuchInstance absent{"hostAbsent", base, 10, kReadOnly};
    NyMibTable table{"hostTable", base, 11};
    std::unique_ptr<HostRow> rows[3];
    MibOctets motto{"hostMotto", base, 12, kReadWrite};

    HostTree()
    {
        level.value() = -42;
        name.value() = "nysnmp test host";
        hits.value() = 4000000000u;
        queue.value() = 17;
        since.value() = 123456;
        kind.value().Assign("1.3.6.1.4.1.32473.1");
        address.value() = std::string("\x7f\x00\x00\x01", 4);
        bytes.value() = 0x100000002ull;
        rows[0] = std::make_unique<HostRow>(table, 3, "third", 30);
        rows[1] = std::make_unique<HostRow>(table, 1, "first", 10);
        rows[2] = std::make_unique<HostRow>(table, 2, "second", 20);
        motto.value() = "carpe diem";
    }
    // The row with this instance.
    HostRow& Row(int instance)
    {
        for (auto& row : rows)
            if (row->index.value() == instance)
                return *row;
        return *rows[0];
    }
};

#endif
