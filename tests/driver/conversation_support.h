// Shared setup of the conversation tests: list entries built by hand and queued
// straight into the driver's lists, and a peer playing the PLC.
#ifndef CONVERSATION_SUPPORT_H
#define CONVERSATION_SUPPORT_H

#include <string>
#include <vector>

#include "driver_fixture.h"
#include "plc_peer.h"

enum { READ = 0, WRITE = 1 };
enum : unsigned { AREA_D = 0x82, AREA_CIO = 0xB0, AREA_W = 0xB1, AREA_TC_PV = 0x89 };

struct Entry {
    int access = READ;
    int reg_type = 11;
    int address = 0;
    int length = 1;
    int station = 1;
    int req_kind = 0;
    int req_id = -1;
    int link_id = 0;
    QByteArray value;

    RW_VAR var() const {
        RW_VAR v = {};
        v.req_kind = req_kind;
        v.req_id = req_id;
        v.access = access;
        v.link_id = link_id;
        v.name = QString("v%1").arg(address);
        v.addr_text = QString::number(address);
        v.reg_type = reg_type;
        v.address = address;
        v.station = station;
        v.length = length;
        v.value = value;
        return v;
    }
};

inline Entry dWord(int address, int length = 1) {
    Entry e;
    e.address = address;
    e.length = length;
    return e;
}
inline Entry dWrite(int address, unsigned value) {
    Entry e = dWord(address);
    e.access = WRITE;
    e.value = QByteArray(1, char(value & 0xFF)) + QByteArray(1, char(value >> 8 & 0xFF));
    return e;
}
inline Entry onceBy(Entry e, int kind, int id) {
    e.req_kind = kind;
    e.req_id = id;
    return e;
}
inline Entry atStation(Entry e, int station) {
    e.station = station;
    return e;
}
inline Entry typed(Entry e, int reg_type) {
    e.reg_type = reg_type;
    return e;
}

class Conversation : public DriverTest {
  public:
    void queueRead(const Entry& e) { PLC_driver.read_list.append(e.var()); }
    void queueWrite(const Entry& e) { PLC_driver.write_list.append(e.var()); }
    void queueOnce(const Entry& e) { PLC_driver.once_list.append(e.var()); }

  protected:
    // The station has completed its node address handshake.
    void handshakeDone(int station, unsigned char plc_node = 1, unsigned char hmi_node = 10) {
        map_list[station] = Check_Plc{1, plc_node, hmi_node};
    }

    static std::vector<int> addresses(const QList<RW_VAR>& list) {
        std::vector<int> out;
        for (const RW_VAR& v : list)
            out.push_back(v.address);
        return out;
    }

    std::vector<std::string> serveTurns(int turns) {
        std::vector<std::string> names;
        for (int i = 0; i < turns; ++i)
            names.push_back(plc.serve().what);
        return names;
    }

    peer::PlcPeer plc;
};

inline bool sameNodes(const Check_Plc& a, const Check_Plc& b) {
    return a.hs_done == b.hs_done && a.plc_node == b.plc_node && a.hmi_node == b.hmi_node;
}

#endif
