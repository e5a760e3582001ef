// What the host shows: every tag's value, a status line and the latest notices,
// refreshed in place on a terminal (ANSI) or printed as plain lines otherwise;
// and the machine-readable final report.
#ifndef FINS_HOST_SCREEN_H
#define FINS_HOST_SCREEN_H

#include <cstdio>
#include <string>
#include <vector>

#include "host_session.h"

namespace fhost {

// "cycle 3.2 ms | 4 frames/cycle | 1250.0 exch/s | retries 0 | failures 0 | online"
std::string statusLine(const HostSession& session);

// One line per tag: name, type, address, station, value.
std::vector<std::string> valueLines(const HostSession& session);

class ScreenPrinter {
  public:
    ScreenPrinter(std::FILE* out, bool ansi) : out_(out), ansi_(ansi) {}
    void show(const HostSession& session);

  private:
    std::FILE* out_;
    bool ansi_;
    bool cleared_ = false;
    size_t notices_shown_ = 0;
};

// The final report as one JSON object: outcome, exit code, values, counters,
// writes, one-shot reads and notices.
std::string jsonReport(const HostSession& session, const std::string& outcome, int exit_code);

} // namespace fhost

#endif
