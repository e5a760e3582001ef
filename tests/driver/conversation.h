// The driver in conversation with the simulator's in-process PLC: list entries
// queued straight into the driver's lists, and one turn of the host's loop at a time
// (ComCommunication, the simulator's answer, DataCom). A turn may spoil the answer
// with a fault rule in the simulator's own syntax ("error=0x01", "short=1", "drop").
#ifndef CONVERSATION_H
#define CONVERSATION_H

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "driver_fixture.h"
#include "fins_peer.h"
#include "plcsim/faults.h"
#include "plcsim/session.h"

enum { READ = 0, WRITE = 1, D_WORD = 11, PLC_NODE = 1, HMI_NODE = 10 };
using plcsim::Area;
using std::make_tuple;

// A list entry: one D word at station 1 unless changed.
struct Entry {
    RW_VAR v;
    Entry(int address, int access, unsigned value = 0)
        : v{0, -1, access, 0, 0, 0, "", "", D_WORD, address, 1, 1, 0, 0, QByteArray()} {
        if (access == WRITE) fins::appendHostWord(v.value, value);
    }
    Entry& once(int kind, int id) { return v.req_kind = kind, v.req_id = id, *this; }
    Entry& at(int station) { return v.station = station, *this; }
    Entry& type(int reg_type) { return v.reg_type = reg_type, *this; }
    Entry& link(int id) { return v.link_id = id, *this; }
    Entry& length(int n) { return v.length = n, *this; }
};

// One turn of the host's loop.
struct Turn {
    Protocol frame{}; // the frame the driver gave
    std::string what; // the simulator's reading of it ("node", "read D100 x1"); "" if none
    int result = -1;  // cur_var.result after DataCom; -1 when nothing was sent
};

class SimPlc {
    struct Station {
        plcsim::PlcMemory memory;
        std::unique_ptr<plcsim::Session> session;
    };
    static const uint8_t AUTO_NODE = 0xFB; // the client node a PLC hands out for 0

    Station& station(int number) {
        Station& s = stations_[remote_ ? 0 : number];
        const uint8_t node = nodes_.count(number) ? nodes_[number] : uint8_t(PLC_NODE);
        if (!s.session && remote_) s.session.reset(new plcsim::RemoteSession(s.memory));
        if (!s.session) s.session.reset(new plcsim::FinsSession(s.memory, node, AUTO_NODE));
        return s;
    }
    std::vector<plcsim::SessionOutput> feed(int number, const QByteArray& bytes) {
        std::vector<plcsim::SessionOutput> out;
        station(number).session->feed(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      bytes.size(), &out);
        return out;
    }

  public:
    explicit SimPlc(bool remote = false) : remote_(remote) {}

    plcsim::PlcMemory& memory(int number = 1) { return station(number).memory; }
    // The node a station's PLC answers with; before the station's first frame.
    void setPlcNode(int number, uint8_t node) { nodes_[number] = node; }
    // The station's PLC has exchanged node addresses (the driver is told by the test).
    void connect(int number) { feed(number, fins::nodeAddressRequest(HMI_NODE)); }

    // The simulator's answer to p, spoiled by fault rule `fault` when given.
    QByteArray answer(const Protocol& p, const char* fault = nullptr, std::string* what = nullptr) {
        std::vector<plcsim::SessionOutput> out = feed(p.var.station, p.frame);
        if (out.size() != 1) return QByteArray();
        if (what) *what = out[0].info.command == "node" ? "node" : describe(out[0].info);
        std::vector<uint8_t>& reply = out[0].reply;
        plcsim::FaultRule rule;
        std::string error;
        if (fault && !plcsim::parseFaultRule(fault, &rule, &error)) return "bad fault rule";
        const plcsim::FaultPlan plan({rule}, 1);
        const plcsim::FaultDecision decision = plan.decide(1);
        if (fault && decision.drop) return QByteArray(); // the host hands over an empty reply
        if (fault) plan.spoil(decision, 1, &reply);
        return QByteArray(reinterpret_cast<const char*>(reply.data()), int(reply.size()));
    }
    // ComCommunication, the answer (see answer()), then DataCom with it.
    Turn serve(const char* fault = nullptr) {
        Turn t;
        const Protocol* p = ComCommunication();
        if (!p) return t;
        t.frame = *p;
        QByteArray reply = answer(*p, fault, &t.what);
        t.result = DataCom(&reply, reply.size())->result;
        return t;
    }
    // Serves `turns` turns; what each sent, short: "node", "w100" (write D100), "r0".
    std::string serveTurns(int turns) {
        std::string sent;
        for (int i = 0; i < turns; ++i) {
            const Turn t = serve();
            const RW_VAR& v = t.frame.var;
            sent += i ? " " : "";
            sent += t.what == "node" ? t.what : (v.access ? "w" : "r") + std::to_string(v.address);
        }
        return sent;
    }

  private:
    // "read D100 x1": the register type whose write (else read) area code it is.
    std::string describe(const plcsim::RequestInfo& i) const {
        std::string area = std::to_string(i.areaCode) + "@";
        for (int by_write = 1; !remote_ && by_write >= 0 && area.back() == '@'; --by_write)
            for (int t = fins::REG_TYPE_COUNT - 1; t >= 0; --t) {
                const fins::RegType* r = fins::regType(t);
                if ((by_write ? r->write_area : r->read_area) == i.areaCode) area = fins::mnemonicOf(r->code);
            }
        return i.command + " " + area + std::to_string(i.address) + " x" + std::to_string(i.count);
    }

    bool remote_;
    std::map<int, Station> stations_;
    std::map<int, uint8_t> nodes_;
};

class Conversation : public DriverTest {
  public:
    static Entry dRead(int address) { return Entry(address, READ); }
    static Entry dWrite(int address, unsigned value) { return Entry(address, WRITE, value); }
    using Entries = std::initializer_list<Entry>;
    static void queue(QList<RW_VAR>& list, Entries es) {
        for (const Entry& e : es)
            list.append(e.v);
    }
    void queueRead(Entries es) { queue(PLC_driver.read_list, es); }
    void queueWrite(Entries es) { queue(PLC_driver.write_list, es); }
    void queueOnce(Entries es) { queue(PLC_driver.once_list, es); }

  protected:
    // The station has completed its node address exchange.
    void handshakeDone(int station, unsigned char plc_node = PLC_NODE) {
        map_list[station] = Check_Plc{1, plc_node, HMI_NODE};
        plc.connect(station);
    }
    static std::vector<int> addresses(const QList<RW_VAR>& list) {
        std::vector<int> out;
        for (const RW_VAR& v : list)
            out.push_back(v.address);
        return out;
    }
    // The station's record as "hs_done plc_node hmi_node".
    static std::string nodes(int station) {
        const Check_Plc& c = map_list[station];
        return std::to_string(c.hs_done) + " " + std::to_string(c.plc_node) + " " +
               std::to_string(c.hmi_node);
    }

    SimPlc plc;
};

#endif
