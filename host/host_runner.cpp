#include "host_runner.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include <QJsonDocument>

#include "omron_fins_results.h"
#include "host_bridge.h"
#include "host_session.h"
#include "panel/panel_server.h"
#include "screen.h"
#include "state_document.h"
#include "tag_values.h"
#include "value_log.h"

namespace fhost {

namespace {

std::atomic<bool> g_stop(false);
std::atomic<bool> g_reload(false);

// Nothing to send (empty read list, queues done), or every station waits out its
// backoff: wait a little instead of spinning.
const std::chrono::milliseconds kIdleWait(20);
// The refresh with a browser panel and no --refresh-ms: 4 updates a second.
const int kPanelRefreshMs = 250;

void complain(const std::string& text) {
    std::fprintf(stderr, "fins-host: %s\n", printable(text).c_str());
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool loadTags(const HostOptions& options, std::vector<Tag>* tags) {
    TagFile file = loadTagFile(options.tags_path);
    for (const TagError& e : file.errors)
        complain(options.tags_path + ": " + describe(e));
    if (!file.errors.empty()) return false;
    *tags = file.tags;
    return true;
}

// In multi-station mode every station of a tag needs a PLC: the default station's is
// --plc, the others' come from --station.
bool stationsHaveAddresses(const HostOptions& options, const std::vector<Tag>& tags) {
    if (!options.multi_station) return true;
    bool ok = true;
    for (const Tag& t : tags) {
        if (t.station == DEFAULT_STATION || t.station == options.default_station ||
            options.stations.count(t.station))
            continue;
        complain(options.tags_path + ": line " + std::to_string(t.line) + ": tag '" + t.name +
                 "' is on station " + std::to_string(t.station) +
                 ", which has no --station address");
        ok = false;
    }
    return ok;
}

bool knownTags(const HostOptions& options, const std::vector<Tag>& tags) {
    auto known = [&](const std::string& name) {
        if (findTag(tags, name)) return true;
        complain("no tag named '" + name + "' in " + options.tags_path);
        return false;
    };
    bool ok = true;
    for (const auto& w : options.writes)
        ok = known(w.first) && ok;
    for (const std::string& r : options.read_once)
        ok = known(r) && ok;
    return ok;
}

// Writes go to the driver at once; one-shot reads wait in `reads` until the writes
// before them settled, so that they read what was written.
bool queueWrites(const HostOptions& options, HostSession& session) {
    std::string error;
    for (const auto& w : options.writes) {
        if (!session.queueWrite(w.first, w.second, &error)) {
            complain("--write " + w.first + "=" + w.second + ": " + error);
            return false;
        }
    }
    return true;
}

void queueReadsAfterWrites(std::vector<std::string>* reads, HostSession& session) {
    if (reads->empty() || session.ledger().writesPending()) return;
    std::string error;
    for (const std::string& name : *reads)
        if (!session.queueOnceRead(name, &error)) session.refuseAction(false, name, "", error, 0);
    reads->clear();
}

// Requests of other threads go the way of --write and --read-once; a refused one is
// reported as an action at once.
void serveRequests(HostBridge& bridge, HostSession& session) {
    for (const HostBridge::Request& r : bridge.takeRequests()) {
        const bool write = r.kind == HostBridge::Request::Write;
        const std::string tag = r.tag.toStdString(), value = r.value.toStdString();
        std::string error;
        const bool queued = write ? session.queueWrite(tag, value, &error, r.id)
                                  : session.queueOnceRead(tag, &error, r.id);
        if (!queued) session.refuseAction(write, tag, value, error, r.id);
    }
}

enum class StopReason { Running, Signal, Cycles, Seconds, Offline };

StopReason stopReason(const HostOptions& options, const HostSession& session,
                      Clock::time_point started, bool reads_waiting) {
    if (g_stop.load()) return StopReason::Signal;
    if (options.seconds > 0 && secondsSince(started) >= options.seconds) return StopReason::Seconds;
    const Counters& c = session.counters();
    if (options.cycles > 0 && c.cycles >= options.cycles &&
        ((!session.actionsPending() && !reads_waiting) || c.failures > 0))
        return StopReason::Cycles;
    if (options.scripted() && options.max_offline_seconds > 0 &&
        secondsSince(session.lastGoodReply()) >= options.max_offline_seconds)
        return StopReason::Offline;
    return StopReason::Running;
}

// Lost for good: no good reply for --max-offline-seconds; a give-up the driver did not
// recover from before the end (its offline flag, or a station set aside); or a station
// down at the end with no good reply for longer than one reply may take.
bool connectionLost(const HostOptions& options, const HostSession& session, StopReason reason) {
    if (reason == StopReason::Offline || session.comInfo().offline) return true;
    for (const StationStatus& st : session.stations())
        if (session.isSetAside(st.station)) return true;
    return !isOnline(session) && secondsSince(session.lastGoodReply()) * 1000 > options.timeout_ms;
}

const char* outcomeText(StopReason reason, int code) {
    if (code == EXIT_CONNECTION_LOST)
        return reason == StopReason::Offline ? "gave up: no good reply" : "offline";
    if (code == EXIT_ACTION_FAILED) return "a write or one-shot read failed";
    switch (reason) {
    case StopReason::Cycles:
        return "cycles done";
    case StopReason::Seconds:
        return "time up";
    case StopReason::Signal:
        return "stopped";
    default:
        return "ok";
    }
}

void waitForWork(const Exchange& ex, const HostSession& session) {
    if (ex.kind == FrameKind::None) {
        std::this_thread::sleep_for(kIdleWait);
    } else if (ex.waiting) {
        const Clock::time_point limit = Clock::now() + kIdleWait;
        std::this_thread::sleep_until(std::min(limit, session.nextAttempt()));
    }
}

// The scan rate: a pass over the read list starts no sooner than --poll-ms after the
// start of the one before. Between passes only writes, one-shot reads and a frame the
// driver sends again go out.
class PassPacer {
  public:
    explicit PassPacer(int poll_ms) : poll_(poll_ms), pass_start_(Clock::now()) {}
    // After a turn: a pass that just ended holds the next until its time.
    void turned(const Exchange& ex, long cycles) {
        outstanding_ = ex.waiting || ex.result == fins::RESULT_SENT_AGAIN;
        if (cycles == cycles_) return;
        cycles_ = cycles;
        next_pass_ = pass_start_ + poll_;
        holding_ = poll_.count() > 0;
        resumeIfDue();
    }
    // True when the loop must take a turn now.
    bool mustTurn(const HostSession& session) {
        resumeIfDue();
        return !holding_ || outstanding_ || session.actionsPending();
    }
    Clock::time_point nextPass() const { return next_pass_; }

  private:
    void resumeIfDue() {
        if (!holding_ || Clock::now() < next_pass_) return;
        holding_ = false;
        pass_start_ = Clock::now();
    }
    std::chrono::milliseconds poll_;
    Clock::time_point pass_start_, next_pass_;
    long cycles_ = 0;
    bool holding_ = false, outstanding_ = false;
};

bool startPanel(const HostOptions& options, PanelServer& panel) {
    PanelOptions po;
    std::string error;
    po.allow_remote = options.http_allow_remote;
    po.token = options.http_token;
    if (!parsePanelAddress(options.http, &po, &error) || !panel.start(po, &error)) {
        complain(error);
        return false;
    }
    std::fprintf(stderr, "fins-host: panel at %s\n", panel.url().c_str());
    return true;
}

// Each column tag's typed values for the value log, from the refresh's one read of the
// tags. The columns are the tags of the start; one a reload removed is logged empty.
std::vector<LoggedTag> loggedValues(const std::vector<Tag>& columns,
                                    const std::vector<TagView>& tags) {
    std::vector<LoggedTag> out;
    for (const Tag& column : columns) {
        LoggedTag logged;
        logged.stale = true;
        for (const TagView& v : tags) {
            if (v.tag->name != column.name || v.tag->length != column.length) continue;
            logged.stale = v.stale;
            for (const plcvalues::Value& value : typedValues(*v.tag, v.values))
                logged.values.push_back(value.text);
        }
        out.push_back(logged);
    }
    return out;
}

// --explain: the cyclic read blocks of one pass, one a line.
void printBlockMap(const HostSession& session) {
    const std::vector<ReadBlock>& blocks = session.readBlocks();
    std::printf("%zu read block(s), %d frame(s) a pass over %zu tag(s), --max-block %d\n",
                blocks.size(), session.blockCount(), session.tags().size(),
                session.comInfo().max_block);
    for (const std::string& line : blockMapLines(blocks))
        std::printf("%s\n", printable(line).c_str());
}

// SIGHUP: the tag file read again. A good one replaces the tags and the read list; a bad
// one is reported and the host goes on with the tags it has.
void reloadTags(const HostOptions& options, HostSession& session, HostBridge& bridge) {
    std::vector<Tag> tags;
    if (!loadTags(options, &tags) || !stationsHaveAddresses(options, tags)) {
        complain("tag file reload refused: going on with the " +
                 std::to_string(session.tags().size()) + " tags read before");
        session.noteReload("tag file reload refused (" + options.tags_path +
                           " has errors): going on with the tags read before");
        return;
    }
    session.replaceTags(tags);
    bridge.publishTags(tags);
    session.noteReload("tag file reloaded: " + std::to_string(tags.size()) + " tags");
}

int runLoop(const HostOptions& options, HostSession& session, HostBridge& bridge, ValueLog& log,
            std::vector<std::string> reads) {
    const std::vector<Tag> log_columns = session.tags();
    const bool ansi = !options.json && !options.plain && isatty(STDOUT_FILENO);
    const int refresh_ms = options.refresh_ms              ? options.refresh_ms
                           : ansi || !options.http.empty() ? kPanelRefreshMs
                                                           : 1000;
    ScreenPrinter screen(stdout, ansi, options.status_only);
    const Clock::time_point started = Clock::now();
    Clock::time_point next_refresh = started;
    auto refresh = [&] {
        if (Clock::now() < next_refresh) return;
        const std::vector<TagView> tags = session.viewTags();
        const auto now = std::chrono::system_clock::now();
        if (!options.json && !options.explain) screen.show(session, tags, now);
        bridge.publish(stateDocument(session, tags));
        if (log.isOpen()) log.record(now, loggedValues(log_columns, tags));
        next_refresh = Clock::now() + std::chrono::milliseconds(refresh_ms);
    };
    // A PLC that does not answer keeps the screen waiting no longer than a refresh.
    session.setWaitHook(WaitHook{refresh, refresh_ms});
    PassPacer pacer(options.poll_ms);
    StopReason reason;
    while ((reason = stopReason(options, session, started, !reads.empty())) ==
           StopReason::Running) {
        if (g_reload.exchange(false)) reloadTags(options, session, bridge);
        serveRequests(bridge, session);
        queueReadsAfterWrites(&reads, session);
        if (!pacer.mustTurn(session)) {
            bridge.waitForRequest(std::min(pacer.nextPass(), next_refresh));
            refresh();
            continue;
        }
        const Exchange ex = session.exchangeOnce();
        pacer.turned(ex, session.counters().cycles);
        waitForWork(ex, session);
        refresh();
    }
    session.setWaitHook(WaitHook());
    session.closeConnections();
    // Requests the panel accepted that the loop had not taken yet still get an outcome.
    for (const HostBridge::Request& r : bridge.takeRequests())
        session.refuseAction(r.kind == HostBridge::Request::Write, r.tag.toStdString(),
                             r.value.toStdString(), "the run ended before it was sent", r.id);
    session.abandonPending();
    const int code = connectionLost(options, session, reason) ? EXIT_CONNECTION_LOST
                     : session.anyActionFailed()              ? EXIT_ACTION_FAILED
                                                              : EXIT_OK;
    const std::vector<TagView> tags = session.viewTags();
    const auto now = std::chrono::system_clock::now();
    if (log.isOpen()) log.record(now, loggedValues(log_columns, tags));
    QJsonObject doc = stateDocument(session, tags);
    doc["outcome"] = outcomeText(reason, code);
    doc["exit_code"] = code;
    bridge.publish(doc);
    if (options.json) {
        std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputs("\n", stdout);
    } else if (options.explain) {
        printBlockMap(session);
    } else {
        screen.show(session, tags, now);
        // A lost connection ends with its reason, not just the word.
        const std::string why =
            code == EXIT_CONNECTION_LOST ? " (" + onlineText(session) + ")" : "";
        std::printf("fins-host: %s%s\n", outcomeText(reason, code), printable(why).c_str());
    }
    std::fflush(stdout);
    return code;
}

} // namespace

void requestStop() {
    g_stop.store(true);
}

void requestReload() {
    g_reload.store(true);
}

int runHost(int argc, const char* const* argv, HostBridge* bridge) {
    HostOptions options;
    std::string error;
    if (!parseHostOptions(argc, argv, &options, &error)) {
        if (error.find("--help") == std::string::npos) error += " (see --help)";
        complain(error);
        return EXIT_BAD_OPTIONS;
    }
    if (options.help) {
        std::fputs(hostUsage(), stdout);
        return EXIT_OK;
    }
    if (options.version) {
        std::printf("fins-host %s\n", hostVersion());
        return EXIT_OK;
    }
    std::vector<Tag> tags;
    if (!loadTags(options, &tags)) return EXIT_BAD_TAG_FILE;
    if (!knownTags(options, tags) || !stationsHaveAddresses(options, tags)) return EXIT_BAD_OPTIONS;

    DriverApi api;
    const std::string driver =
        options.driver_path.empty() ? defaultDriverPath() : options.driver_path;
    if (!api.load(driver, &error)) {
        complain(error);
        return EXIT_DRIVER_UNUSABLE;
    }
    HostSession session(options, api);
    if (!session.start(tags, &error)) {
        complain(error);
        return EXIT_BAD_OPTIONS;
    }
    if (!queueWrites(options, session)) return EXIT_BAD_OPTIONS;
    ValueLog log;
    if (!options.csv_path.empty() &&
        !log.open(options.csv_path, tags, options.csv_changes, &error)) {
        complain(error);
        return EXIT_BAD_OPTIONS;
    }
    HostBridge own_bridge;
    HostBridge& shared = bridge ? *bridge : own_bridge;
    shared.publishTags(tags);
    PanelServer panel(shared);
    if (!options.http.empty() && !startPanel(options, panel)) return EXIT_BAD_OPTIONS;
    return runLoop(options, session, shared, log, options.read_once);
}

} // namespace fhost
