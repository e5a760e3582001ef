// The host side of the driver: the communication block, the local areas, the
// callbacks, the read list, the TCP connections per station and the loop turn
// (ComCommunication, send, receive, DataCom), with the counters a screen shows.
#ifndef FINS_HOST_SESSION_H
#define FINS_HOST_SESSION_H

#include <memory>
#include <string>
#include <vector>

#include "driver_api.h"
#include "host_options.h"
#include "notices.h"
#include "pcap_writer.h"
#include "plc_connection.h"
#include "tag_file.h"

namespace fhost {

// Requester identities the host gives its own requests; the cyclic read list uses
// kind 0 and id -1.
enum { WRITE_REQ_KIND = 1, ONCE_REQ_KIND = 2, HOST_CB_CONTEXT = 4242 };

// Sizes of the host's local areas; the HMI's address text sits in LW.
enum {
    LW_AREA_BYTES = 131072,
    LB_AREA_BYTES = 8192,
    RWI_AREA_BYTES = 8192,
    HMI_ADDRESS_OFFSET = 122400,
    HMI_ADDRESS_BYTES = 16
};

enum class FrameKind { None, Handshake, CyclicRead, OnceRead, Write, Other };
const char* frameKindName(FrameKind kind);

// One turn of the loop.
struct Exchange {
    FrameKind kind = FrameKind::None; // None: the driver had nothing to send
    bool waiting = false;             // the station waits out its reconnect backoff
    bool sent = false;                // the frame went out on a connection
    int station = 0;
    int result = 1;              // cur_var.result after DataCom
    int reply_bytes = 0;         // bytes handed to DataCom
    QByteArray frame;            // as sent
    QByteArray reply;            // as handed to DataCom
    std::string transport_error; // why no reply was received (empty when one was)
};

inline bool isGoodResult(int r) {
    return r == 1 || r == 100;
}
// Result codes that report an exchange given up after its retries.
inline bool isGiveUpResult(int r) {
    return r >= 10 && r != 100 && r != 200 && r != 201;
}

struct Counters {
    long exchanges = 0; // frames sent and answered, timed out or cut off
    long frames_sent = 0;
    long good = 0;
    long retries = 0;  // result 0: the driver will send the frame again
    long failures = 0; // retries exhausted
    long handshakes = 0;
    long handshake_refusals = 0;
    long timeouts = 0;
    long connection_losses = 0;
    long connects = 0;
    long connect_failures = 0;
    long session_reopens = 0; // node address exchange repeated on a new connection
    long stale_bytes = 0;
    long cycles = 0; // complete passes over the read list
    double last_cycle_ms = 0;
    long last_cycle_frames = 0;
    double exchanges_per_second = 0; // over the last second
};

enum class Outcome { Pending, Done, Refused, GaveUp };
const char* outcomeName(Outcome outcome);

// A station as the screen shows it: its PLC, how it is doing and why.
struct StationStatus {
    int station = 0;
    std::string address; // HOST:PORT, empty when no --station gives one
    std::string state;   // "idle", "connecting", "online", "down"
    std::string reason;  // why it is down (or last went down); empty when never
    long connects = 0;
    long good = 0;      // good replies
    long failures = 0;  // exchanges the driver gave up
    double rtt_ms = -1; // last round trip; -1 before the first reply
    bool ever_read = false;
    Clock::time_point last_read; // last good cyclic read
};

struct WriteAction {
    quint64 id = 0; // the bridge request id; 0 for --write
    int station = 0;
    std::string name;
    std::string value_text;
    int expected_pieces = 0;
    int acked = 0;
    int failed = 0;
    int last_result = 0;
    int refused = 0;         // pieces answered with a non-zero FINS end code
    bool local_only = false; // run_mode other than 2: applied to the driver's store only
    Outcome outcome = Outcome::Pending;
    std::string detail;
    bool done() const { return outcome != Outcome::Pending; }
};

struct OnceAction {
    quint64 id = 0;
    std::string name;
    int status = 0; // 0 waiting, 1 done, 2 failed
    std::vector<int> values;
    Outcome outcome = Outcome::Pending;
    std::string detail;
};

// A notice with the identical ones that followed it within a second folded in.
struct Notice {
    std::string text;
    int count = 1;
    Clock::time_point last;
};

class HostSession {
  public:
    HostSession(const HostOptions& options, DriverApi& api);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Opens the recording, hands the driver its block, areas and callbacks, and
    // registers the tags for cyclic reading.
    bool start(const std::vector<Tag>& tags, std::string* error);
    bool queueWrite(const std::string& name, const std::string& value, std::string* error,
                    quint64 id = 0);
    bool queueOnceRead(const std::string& name, std::string* error, quint64 id = 0);
    // A request refused before it reached the driver (unknown tag, bad value).
    void refuseAction(bool write, const std::string& name, const std::string& value,
                      const std::string& why, quint64 id);
    // Actions still pending when the run ends are given up.
    void abandonPending();

    Exchange exchangeOnce();
    // Runs while a connection waits for its PLC (see WaitHook).
    void setWaitHook(const WaitHook& hook) { wait_hook_ = hook; }
    // When the earliest station waiting out its backoff may connect again.
    Clock::time_point nextAttempt() const;
    void closeConnections();

    const Tag* findTag(const std::string& name) const;
    std::vector<int> readTag(const Tag& tag) const;
    int stationOf(const Tag& tag) const;

    const std::vector<Tag>& tags() const { return tags_; }
    int blockCount() const { return block_count_; }
    const COM_INFO& comInfo() const { return com_; }
    const Counters& counters() const { return counters_; }
    const std::vector<Notice>& notices() const { return notices_; }
    long noticesDropped() const { return notices_dropped_; }
    std::vector<StationStatus> stations() const;
    // A tag's time since its station's last good cyclic read; false when never read.
    bool tagAge(const Tag& tag, double* age_ms) const;
    bool isStale(const Tag& tag) const;
    Clock::time_point startedAt() const { return started_; }
    const std::vector<WriteAction>& writes() const { return writes_; }
    const std::vector<OnceAction>& onceReads() const { return once_reads_; }
    bool actionsPending() const;
    bool anyActionFailed() const;
    Clock::time_point lastGoodReply() const { return last_good_; }

  private:
    struct Route;
    Route* routeFor(int station);
    bool transmit(Route& route, const QByteArray& frame, FrameKind kind, int reply_len,
                  QByteArray* reply, Exchange* ex);
    bool openRoute(Route& route, FrameKind kind, Clock::time_point deadline, Exchange* ex);
    bool replayNodeAddress(Route& route, Clock::time_point deadline);
    bool sendAndReceive(Route& route, const QByteArray& frame, int reply_len,
                        Clock::time_point deadline, QByteArray* reply, std::string* error);
    void closeRoute(Route& route);
    void backOff(Route& route);
    void markDown(Route& route, const std::string& reason);
    void judgeReply(Route& route, const Exchange& ex, const RW_VAR& sent);
    void settleWrite(const Exchange& ex, const RW_VAR& sent);
    void dropPendingWrites(int station);
    std::string giveUpText(const RawNotice& n, int result, const RW_VAR& returned) const;
    void addNotice(const std::string& text);
    FrameKind classify(const Protocol& p) const;
    void account(const Exchange& ex, const RW_VAR& returned);
    void countCycle(const Exchange& ex);
    void handleNotices(int last_result, const RW_VAR& returned);
    void onceReadNotice(const RawNotice& n);
    void record(Route& route, bool from_client, const QByteArray& bytes);

    const HostOptions& options_;
    DriverApi& api_;
    COM_INFO com_;
    std::vector<unsigned char> lb_, lw_, rwi_;
    std::vector<Tag> tags_;
    int block_count_ = 0;
    std::vector<std::unique_ptr<Route>> routes_;
    PcapFile pcap_;
    int flows_opened_ = 0;
    Counters counters_;
    WaitHook wait_hook_;
    std::vector<Notice> notices_;
    long notices_dropped_ = 0;
    Clock::time_point started_;
    std::vector<WriteAction> writes_;
    std::vector<OnceAction> once_reads_;
    Clock::time_point last_good_;
    Clock::time_point cycle_start_;
    long cycle_good_reads_ = 0;
    long cycle_frames_ = 0;
    Clock::time_point rate_start_;
    long rate_exchanges_ = 0;
};

} // namespace fhost

#endif
