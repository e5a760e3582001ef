// The host side of the driver: the communication block, the local areas, the
// callbacks and the read list, with the loop turn on top (ComCommunication, send,
// receive, DataCom). The connections are StationLinks, the actions an ActionLedger,
// the figures SessionStats.
#ifndef FINS_HOST_SESSION_H
#define FINS_HOST_SESSION_H

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "action_ledger.h"
#include "block_map.h"
#include "driver_api.h"
#include "omron_fins_results.h"
#include "host_options.h"
#include "notices.h"
#include "pcap_writer.h"
#include "session_stats.h"
#include "station_link.h"
#include "tag_file.h"

namespace fhost {

// Requester identities the host gives its own requests; the cyclic read list uses
// kind 0 and id -1.
enum { WRITE_REQ_KIND = fins::LIST_WRITE, ONCE_REQ_KIND = fins::LIST_ONCE, HOST_CB_CONTEXT = 4242 };

// Sizes of the host's local areas; the HMI's address text sits in LW
// (fins::HMI_ADDRESS_OFFSET).
enum { LW_AREA_BYTES = 131072, LB_AREA_BYTES = 8192, RWI_AREA_BYTES = 8192 };

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

// A tag as one refresh shows it: its values read once, and how fresh they are.
struct TagView {
    const Tag* tag;
    int station;
    std::vector<int> values;
    bool read = false; // its blocks had a good read
    double age_ms = 0;
    bool stale = true;
    std::string why_stale; // "station down", "never read", ...
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
    // A reloaded tag file: its tags replace the old ones, and the read list is registered
    // again once no frame is outstanding.
    void replaceTags(const std::vector<Tag>& tags);
    void noteReload(const std::string& text) { addNotice(text); }
    bool queueWrite(const std::string& name, const std::string& value, std::string* error,
                    quint64 id = 0);
    bool queueOnceRead(const std::string& name, std::string* error, quint64 id = 0);
    // A request refused before it reached the driver (unknown tag, bad value, station down).
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

    // The one place a tag is looked up by name; null when the file has none.
    const Tag* findTag(const std::string& name) const;
    std::vector<int> readTag(const Tag& tag) const;
    int stationOf(const Tag& tag) const;
    // Every tag read once, with its freshness: what a refresh shows.
    std::vector<TagView> viewTags() const;

    const std::vector<Tag>& tags() const { return tags_; }
    int blockCount() const { return block_count_; }
    // The cyclic read blocks as sent since the read list was last registered.
    const std::vector<ReadBlock>& readBlocks() const { return block_map_.blocks(); }
    const COM_INFO& comInfo() const { return com_; }
    const Counters& counters() const { return stats_.counters(); }
    double exchangesPerSecond() const { return stats_.exchangesPerSecond(Clock::now()); }
    const std::vector<Notice>& notices() const { return notices_.all(); }
    long noticesDropped() const { return notices_.dropped(); }
    std::vector<StationStatus> stations() const;
    Clock::time_point startedAt() const { return started_; }
    const ActionLedger& ledger() const { return ledger_; }
    const std::deque<WriteAction>& writes() const { return ledger_.writes(); }
    const std::deque<OnceAction>& onceReads() const { return ledger_.onceReads(); }
    bool actionsPending() const { return ledger_.anyPending(); }
    bool anyActionFailed() const { return ledger_.anyFailed(); }
    Clock::time_point lastGoodReply() const { return last_good_; }
    // Why the station's writes and one-shot reads are refused now (it is down), or empty.
    std::string downReason(int station) const;
    // A station taken out of the cyclic reading while it is down.
    bool isSetAside(int station) const { return set_aside_.count(station) != 0; }

  private:
    // Last good read of one block of the read list, keyed by station, type and address.
    struct BlockKey {
        int station, reg_type, address;
        bool operator<(const BlockKey& o) const {
            return std::tie(station, reg_type, address) <
                   std::tie(o.station, o.reg_type, o.address);
        }
    };
    struct BlockRead {
        int length;
        Clock::time_point at;
    };

    StationLink& linkFor(int station);
    const StationLink* findLink(int station) const;
    FrameKind classify(const Protocol& p) const;
    void registerReadList();
    void setAside(int station);
    void probeSetAside();
    void judgeReply(StationLink& link, const Exchange& ex, const RW_VAR& sent,
                    const RW_VAR& returned);
    void settleWrite(const Exchange& ex, const RW_VAR& sent);
    std::string giveUpText(const RawNotice& n, int result, const RW_VAR& returned) const;
    void addNotice(const std::string& text);
    void handleNotices(int last_result, const RW_VAR& returned);
    void onceReadNotice(const RawNotice& n);
    bool tagAge(const Tag& tag, double* age_ms) const;
    void noteReadBlock(const StationLink& link, const Exchange& ex, const RW_VAR& record);

    const HostOptions& options_;
    DriverApi& api_;
    COM_INFO com_;
    std::vector<unsigned char> lb_, lw_, rwi_;
    std::vector<Tag> tags_;
    int block_count_ = 0;
    PcapFile pcap_;
    SessionStats stats_;
    LinkContext link_ctx_;
    std::vector<std::unique_ptr<StationLink>> links_;
    std::set<int> set_aside_;
    bool read_list_changed_ = false; // set_aside_ changed since the list was registered
    bool frame_outstanding_ = false; // the driver sends the last frame again
    std::map<BlockKey, BlockRead> block_reads_;
    BlockMap block_map_;
    WaitHook wait_hook_;
    NoticeLog notices_;
    Clock::time_point started_;
    ActionLedger ledger_;
    Clock::time_point last_good_;
};

} // namespace fhost

#endif
