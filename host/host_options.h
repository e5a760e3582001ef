// Command-line options of fins-host.
#ifndef FINS_HOST_OPTIONS_H
#define FINS_HOST_OPTIONS_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "plc_connection.h"

namespace fhost {

struct HostOptions {
    std::string tags_path;
    std::string driver_path; // empty: defaultDriverPath()
    Endpoint plc{"127.0.0.1", FINS_TCP_PORT};
    std::map<int, Endpoint> stations; // --station N=HOST:PORT

    int max_block = 64;
    int default_station = 1;
    int retry_limit = 2;
    bool multi_station = false;
    bool remote_mode = false;
    int run_mode = 2;
    int local_link = 0;
    std::string hmi_ip = "127.0.0.0"; // node 0: the PLC assigns one
    int timeout_ms = 1000;
    int poll_ms = 100; // shortest time between the starts of two passes; 0: back to back

    std::vector<std::pair<std::string, std::string>> writes; // NAME, VALUE text
    std::vector<std::string> read_once;
    std::string pcap_path;
    std::string csv_path;     // --csv FILE: the value log
    bool csv_changes = false; // a row only when a value changed

    long cycles = 0;    // 0: no limit
    double seconds = 0; // 0: no limit
    bool json = false;
    bool plain = false; // plain lines even on a terminal
    int refresh_ms = 0; // 0: 250 on a terminal, 1000 otherwise
    double max_offline_seconds = 10;
    bool status_only = false; // screen: status and notices only
    bool explain = false;     // print the block map after the run instead of the screen
    bool help = false;
    bool version = false;

    std::string http; // --http ADDR:PORT: serve the browser panel there
    bool http_allow_remote = false;
    std::string http_token;

    bool scripted() const { return cycles > 0 || seconds > 0; }
};

// Largest element count one FINS frame of a CP1L carries (a 1016-byte message).
enum { FINS_MAX_BLOCK = 499 };

// Parses argv; false with a message naming the bad option.
bool parseHostOptions(int argc, const char* const* argv, HostOptions* out, std::string* error);

// True for a dotted IPv4 address "A.B.C.D", each number 0-255.
bool isDottedIpv4(const std::string& text);

const char* hostUsage();
const char* hostVersion();

} // namespace fhost

#endif
