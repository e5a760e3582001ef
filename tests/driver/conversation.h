// The driver in conversation with the simulator's in-process PLC: list entries
// queued straight into the driver's lists, and one turn of the host's loop at a time
// (ComCommunication, the simulator's answer, DataCom). A turn may spoil the answer
// with a fault rule in the simulator's own syntax ("error=0x01", "short=1", "drop").
#ifndef CONVERSATION_H
#define CONVERSATION_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "fins_codec.h"
#include "plcsim/faults.h"
#include "plcsim/session.h"

enum { READ = 0, WRITE = 1, D_WORD = 11, PLC_NODE = 1, HMI_NODE = 10 };

// A list entry; D word reads at station 1 unless changed.
struct Entry {
    int address = 0, length = 1, access = READ, reg_type = D_WORD, station = 1;
    int req_kind = 0, req_id = -1, link_id = 0;
    QByteArray value;

    Entry& once(int kind, int id) { return req_kind = kind, req_id = id, *this; }
    Entry& at(int s) { return station = s, *this; }
    Entry& type(int t) { return reg_type = t, *this; }
    Entry& link(int l) { return link_id = l, *this; }
    RW_VAR var() const {
        RW_VAR v = {};
        v.req_kind = req_kind;
        v.req_id = req_id;
        v.access = access;
        v.link_id = link_id;
        v.reg_type = reg_type;
        v.address = address;
        v.station = station;
        v.length = length;
        v.value = value;
        return v;
    }
};

inline Entry dRead(int address, int length = 1) {
    Entry e;
    e.address = address;
    e.length = length;
    return e;
}
inline Entry dWrite(int address, unsigned value) {
    Entry e = dRead(address);
    e.access = WRITE;
    fins::appendHostWord(e.value, value);
    return e;
}

// One turn of the host's loop.
struct Turn {
    bool sent = false;
    Protocol frame{};   // the frame the driver gave
    std::string what;   // the simulator's reading of it, "" when nothing was sent
    int result = -1;    // cur_var.result after DataCom; -1 when nothing was sent
    RW_VAR returned{};  // cur_var after DataCom
};

class SimPlc {
  public:
    explicit SimPlc(bool remote = false) : remote_(remote) {}

    plcsim::PlcMemory& memory(int station = 1) { return station_(station).memory; }
    // The node a station's PLC answers with; before the station's first frame.
    void setPlcNode(int station, uint8_t node) { nodes_[station] = node; }

    // The station's PLC has exchanged node addresses with the HMI (the driver is told
    // by the test itself).
    void connect(int station, uint8_t hmi_node) {
        const QByteArray request = fins::nodeAddressRequest(hmi_node);
        std::vector<plcsim::SessionOutput> out;
        session(station).feed(reinterpret_cast<const uint8_t*>(request.constData()),
                              request.size(), &out);
    }

    // The simulator's answer to p, spoiled by fault rule `fault` when given.
    QByteArray answer(const Protocol& p, const char* fault = nullptr, std::string* what = nullptr) {
        std::vector<plcsim::SessionOutput> out;
        session(p.var.station).feed(reinterpret_cast<const uint8_t*>(p.frame.constData()),
                                    p.frame.size(), &out);
        if (out.size() != 1) return QByteArray();
        const plcsim::RequestInfo& i = out[0].info;
        if (what) *what = i.command == "node" ? "node" : describe(i);
        std::vector<uint8_t>& reply = out[0].reply;
        if (fault) {
            plcsim::FaultRule rule;
            std::string error;
            if (!plcsim::parseFaultRule(fault, &rule, &error)) return "bad fault rule";
            const plcsim::FaultPlan plan({rule}, 1);
            if (plan.decide(1).drop) return QByteArray();
            plan.spoil(plan.decide(1), 1, &reply);
        }
        return QByteArray(reinterpret_cast<const char*>(reply.data()), int(reply.size()));
    }

    // ComCommunication, the answer (see answer()), then DataCom with it.
    Turn serve(const char* fault = nullptr) {
        Turn t;
        const Protocol* p = ComCommunication();
        if (!p) return t;
        t.sent = true;
        t.frame = *p;
        QByteArray reply = answer(*p, fault, &t.what);
        finish(t, reply, reply.size());
        return t;
    }
    // ComCommunication, then DataCom with bytes and a reported length of the test's own.
    Turn serveBytes(QByteArray reply, int len) {
        Turn t;
        const Protocol* p = ComCommunication();
        if (!p) return t;
        t.sent = true;
        t.frame = *p;
        finish(t, reply, len);
        return t;
    }
    std::vector<std::string> serveTurns(int turns) {
        std::vector<std::string> names;
        for (int i = 0; i < turns; ++i)
            names.push_back(serve().what);
        return names;
    }

  private:
    struct Station {
        plcsim::PlcMemory memory;
        std::unique_ptr<plcsim::Session> session;
    };

    // Register-type mnemonic of an area code: word types first, then bit and flag types.
    static std::string areaName(int code) {
        for (bool by_write : {true, false})
            for (int t = 0; t < fins::REG_TYPE_COUNT; ++t) {
                const fins::RegType* r = fins::regType(t);
                if ((by_write ? r->write_area : r->read_area) == code) return r->mnemonic;
            }
        return std::to_string(code) + "@";
    }
    std::string describe(const plcsim::RequestInfo& i) const {
        const std::string area = remote_ ? std::to_string(i.areaCode) + "@" : areaName(i.areaCode);
        return i.command + " " + area + std::to_string(i.address) + " x" + std::to_string(i.count);
    }

    Station& station_(int station) {
        std::unique_ptr<Station>& s = stations_[remote_ ? 0 : station];
        if (!s) s.reset(new Station);
        return *s;
    }
    plcsim::Session& session(int station) {
        Station& s = station_(station);
        if (!s.session && remote_) s.session.reset(new plcsim::RemoteSession(s.memory));
        if (!s.session) {
            const uint8_t node = nodes_.count(station) ? nodes_[station] : uint8_t(PLC_NODE);
            s.session.reset(new plcsim::FinsSession(s.memory, node, 0xFB));
        }
        return *s.session;
    }
    static void finish(Turn& t, QByteArray& reply, int len) {
        t.result = DataCom(&reply, len)->result;
        t.returned = PLC_driver.cur_var;
    }

    bool remote_;
    std::map<int, std::unique_ptr<Station>> stations_;
    std::map<int, uint8_t> nodes_;
};

class Conversation : public DriverTest {
  public:
    void queueRead(const Entry& e) { PLC_driver.read_list.append(e.var()); }
    void queueWrite(const Entry& e) { PLC_driver.write_list.append(e.var()); }
    void queueOnce(const Entry& e) { PLC_driver.once_list.append(e.var()); }

  protected:
    // The station has completed its node address exchange.
    void handshakeDone(int station, unsigned char plc_node = PLC_NODE) {
        map_list[station] = Check_Plc{1, plc_node, HMI_NODE};
        plc.connect(station, HMI_NODE);
    }
    static std::vector<int> addresses(const QList<RW_VAR>& list) {
        std::vector<int> out;
        for (const RW_VAR& v : list)
            out.push_back(v.address);
        return out;
    }
    static std::string nodes(int station) {
        const Check_Plc& c = map_list[station];
        return std::to_string(c.hs_done) + " " + std::to_string(c.plc_node) + " " +
               std::to_string(c.hmi_node);
    }

    SimPlc plc;
};

#endif
