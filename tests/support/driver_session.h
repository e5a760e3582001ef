// One driver session as a host starts it: the driver reset to its state after load,
// a COM_INFO block, the LW area with the HMI address text, and the once-done and
// comm-fail notices recorded. No test framework, so fuzz targets and the bench can
// use it as the unit tests do.
#ifndef TEST_DRIVER_SESSION_H
#define TEST_DRIVER_SESSION_H

#include <QByteArray>

#include <string>
#include <vector>

#include "omron_fins_tcpip.h"

struct OnceNotice {
    int cb_context, req_kind, req_id, status;
    bool operator==(const OnceNotice& o) const {
        return cb_context == o.cb_context && req_kind == o.req_kind && req_id == o.req_id &&
               status == o.status;
    }
};

struct FailNotice {
    int list_size, req_kind, flag; // list_size -1: no list handed over
    bool operator==(const FailNotice& o) const {
        return list_size == o.list_size && req_kind == o.req_kind && flag == o.flag;
    }
};

// Notices since the last session start, in the order the driver gave them.
std::vector<OnceNotice>& onceNotices();
std::vector<FailNotice>& failNotices();

struct SessionSettings {
    int max_block = 64;
    int default_station = 1;
    int retry_limit = 2;
    int run_mode = 2;
    int multi_station = 0;
    int remote_mode = 0;
    int local_link = 0;
    int cb_context = 77;
    const char* hmi_address = "192.168.250.10";
};

class DriverSession {
  public:
    // Resets the driver, then hands it the block, the callbacks and the local areas.
    explicit DriverSession(const SessionSettings& settings = SessionSettings());
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // Writes the HMI's IPv4 address text (at most 16 bytes) where the driver reads it.
    void setHmiAddress(const char* text);

    COM_INFO com;
    std::vector<unsigned char> lw;
    unsigned char lb[16] = {};
    unsigned char rwi[16] = {};
};

// Bytes from hex digits; spaces are ignored.
QByteArray hex(const char* text);
// Hex digits of bytes, upper case, separated by spaces (for readable failures).
std::string toHex(const QByteArray& bytes);

#endif
