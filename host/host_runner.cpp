#include "host_runner.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "host_bridge.h"
#include "host_session.h"
#include "panel/panel_server.h"
#include "panel/provisional_state.h"
#include "screen.h"

namespace fhost {

namespace {

std::atomic<bool> g_stop(false);

// Nothing to send (empty read list, queues done): wait a little instead of spinning.
const std::chrono::milliseconds kIdleWait(20);
// The panel's refresh when --refresh-ms is not given: 4 updates a second.
const int kPanelRefreshMs = 250;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool loadTags(const HostOptions& options, std::vector<Tag>* tags) {
    TagFile file = loadTagFile(options.tags_path);
    for (const TagError& e : file.errors)
        std::fprintf(stderr, "fins-host: %s: %s\n", options.tags_path.c_str(), describe(e).c_str());
    if (!file.errors.empty()) return false;
    *tags = file.tags;
    return true;
}

bool knownTags(const HostOptions& options, const std::vector<Tag>& tags) {
    auto known = [&](const std::string& name) {
        for (const Tag& t : tags)
            if (t.name == name) return true;
        std::fprintf(stderr, "fins-host: no tag named '%s' in %s\n", name.c_str(),
                     options.tags_path.c_str());
        return false;
    };
    bool ok = true;
    for (const auto& w : options.writes)
        ok = known(w.first) && ok;
    for (const std::string& r : options.read_once)
        ok = known(r) && ok;
    return ok;
}

bool queueActions(const HostOptions& options, HostSession& session) {
    std::string error;
    for (const auto& w : options.writes) {
        if (!session.queueWrite(w.first, w.second, &error)) {
            std::fprintf(stderr, "fins-host: --write %s=%s: %s\n", w.first.c_str(),
                         w.second.c_str(), error.c_str());
            return false;
        }
    }
    for (const std::string& name : options.read_once) {
        if (!session.queueOnceRead(name, &error)) {
            std::fprintf(stderr, "fins-host: --read-once %s: %s\n", name.c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

enum class StopReason { Running, Signal, Cycles, Seconds, Offline };

StopReason stopReason(const HostOptions& options, const HostSession& session,
                      Clock::time_point started) {
    if (g_stop.load()) return StopReason::Signal;
    if (options.seconds > 0 && secondsSince(started) >= options.seconds) return StopReason::Seconds;
    const Counters& c = session.counters();
    if (options.cycles > 0 && c.cycles >= options.cycles &&
        (!session.actionsPending() || c.failures > 0))
        return StopReason::Cycles;
    if (options.scripted() && options.max_offline_seconds > 0 &&
        secondsSince(session.lastGoodReply()) >= options.max_offline_seconds)
        return StopReason::Offline;
    return StopReason::Running;
}

const char* outcomeText(StopReason reason, bool lost) {
    if (lost) return reason == StopReason::Offline ? "gave up: no good reply" : "offline";
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

bool startPanel(const HostOptions& options, PanelServer& panel) {
    PanelOptions po;
    std::string error;
    po.allow_remote = options.http_allow_remote;
    po.token = options.http_token;
    if (!parsePanelAddress(options.http, &po, &error) || !panel.start(po, &error)) {
        std::fprintf(stderr, "fins-host: %s\n", error.c_str());
        return false;
    }
    std::fprintf(stderr, "fins-host: panel at %s\n", panel.url().c_str());
    return true;
}

int runLoop(const HostOptions& options, HostSession& session, HostBridge* bridge) {
    const bool ansi = !options.json && !options.plain && isatty(STDOUT_FILENO);
    const int refresh_ms = options.refresh_ms ? options.refresh_ms : (ansi ? 250 : 1000);
    const int panel_refresh_ms = options.refresh_ms ? options.refresh_ms : kPanelRefreshMs;
    ScreenPrinter screen(stdout, ansi);
    ProvisionalPump pump;
    const Clock::time_point started = Clock::now();
    Clock::time_point next_refresh = started, next_publish = started;
    StopReason reason;
    while ((reason = stopReason(options, session, started)) == StopReason::Running) {
        if (bridge) pump.takeRequests(*bridge, session);
        Exchange ex = session.exchangeOnce();
        if (ex.kind == FrameKind::None) std::this_thread::sleep_for(kIdleWait);
        if (!options.json && Clock::now() >= next_refresh) {
            screen.show(session);
            next_refresh = Clock::now() + std::chrono::milliseconds(refresh_ms);
        }
        if (bridge && Clock::now() >= next_publish) {
            bridge->publish(pump.document(session));
            next_publish = Clock::now() + std::chrono::milliseconds(panel_refresh_ms);
        }
    }
    session.closeConnections();
    if (bridge) bridge->publish(pump.document(session));
    const bool lost = reason == StopReason::Offline || session.comInfo().offline != 0;
    const int code = lost ? EXIT_CONNECTION_LOST : EXIT_OK;
    if (options.json) {
        std::fputs(jsonReport(session, outcomeText(reason, lost), code).c_str(), stdout);
    } else {
        screen.show(session);
        std::printf("fins-host: %s\n", outcomeText(reason, lost));
    }
    std::fflush(stdout);
    return code;
}

} // namespace

void requestStop() {
    g_stop.store(true);
}

int runHost(int argc, const char* const* argv) {
    HostOptions options;
    std::string error;
    if (!parseHostOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "fins-host: %s\n", error.c_str());
        return EXIT_BAD_OPTIONS;
    }
    if (options.help) {
        std::fputs(hostUsage(), stdout);
        return EXIT_OK;
    }
    std::vector<Tag> tags;
    if (!loadTags(options, &tags)) return EXIT_BAD_TAG_FILE;
    if (!knownTags(options, tags)) return EXIT_BAD_OPTIONS;

    DriverApi api;
    const std::string driver =
        options.driver_path.empty() ? defaultDriverPath() : options.driver_path;
    if (!api.load(driver, &error)) {
        std::fprintf(stderr, "fins-host: %s\n", error.c_str());
        return EXIT_DRIVER_UNUSABLE;
    }
    HostSession session(options, api);
    if (!session.start(tags, &error)) {
        std::fprintf(stderr, "fins-host: %s\n", error.c_str());
        return EXIT_BAD_OPTIONS;
    }
    if (!queueActions(options, session)) return EXIT_BAD_OPTIONS;
    HostBridge bridge;
    PanelServer panel(bridge, tags);
    if (!options.http.empty() && !startPanel(options, panel)) return EXIT_BAD_OPTIONS;
    return runLoop(options, session, options.http.empty() ? nullptr : &bridge);
}

} // namespace fhost
