// What the host shows: every tag's value, a status line, the stations and the latest
// notices, refreshed in place on a terminal (ANSI) or printed as plain lines otherwise.
#ifndef FINS_HOST_SCREEN_H
#define FINS_HOST_SCREEN_H

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "host_session.h"

namespace fhost {

// "online", "OFFLINE: connection refused", or the station that holds every other one.
std::string onlineText(const HostSession& session);
bool isOnline(const HostSession& session);

// "cycle 3.2 ms | 4 frames/cycle | 1250.0 exch/s | retries 0 | failures 0 | online"
std::string statusLine(const HostSession& session);

// "station 1 127.0.0.1:9600: down: connection refused | connects 3 | good 0 | failures 0"
std::vector<std::string> stationLines(const HostSession& session);

// Lines per tag: name, type, address, station, typed values, the stale marker; lines
// break between values (eight a line, or what fits `columns` when it is not 0), and a
// continuation line names the address of its first value.
std::vector<std::string> valueLines(const HostSession& session, const std::vector<TagView>& tags,
                                    size_t columns);

// Control bytes as \xNN, so nothing read from a file or a PLC drives the terminal.
std::string printable(const std::string& text);

class ScreenPrinter {
  public:
    ScreenPrinter(std::FILE* out, bool ansi, bool status_only)
        : out_(out), ansi_(ansi), status_only_(status_only) {}
    // Plain blocks start with the time of the refresh.
    void show(const HostSession& session, const std::vector<TagView>& tags,
              std::chrono::system_clock::time_point now);

  private:
    std::vector<std::string> tagLinesThatFit(const HostSession& session,
                                             const std::vector<TagView>& tags,
                                             size_t other_rows) const;

    std::FILE* out_;
    bool ansi_;
    bool status_only_;
    bool cleared_ = false;
    size_t notices_shown_ = 0;
};

} // namespace fhost

#endif
