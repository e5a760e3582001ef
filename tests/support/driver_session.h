// One driver session as a host starts it: the driver reset to its state after load,
// a COM_INFO block, the LW area with the HMI address text, and the once-done and
// comm-fail notices recorded. No test framework, so fuzz targets and the bench can
// use it as the unit tests do.
#ifndef TEST_DRIVER_SESSION_H
#define TEST_DRIVER_SESSION_H

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "driver_object.h"
#include "fins_codec.h"
#include "omron_fins_tcpip.h"

using OnceNotice = std::array<int, 4>; // cb_context, req_kind, req_id, status
using FailNotice = std::array<int, 3>; // list size (-1: no list handed over), req_kind, flag

// Notices since the last session start, in the order the driver gave them.
inline std::vector<OnceNotice>& onceNotices() {
    static std::vector<OnceNotice> notices;
    return notices;
}
inline std::vector<FailNotice>& failNotices() {
    static std::vector<FailNotice> notices;
    return notices;
}

inline void recordOnceDone(int ctx, int kind, int id, int status) {
    onceNotices().push_back({ctx, kind, id, status});
}
inline void recordCommFail(QList<RW_VAR>* vars, int kind, int flag) {
    failNotices().push_back({vars ? static_cast<int>(vars->size()) : -1, kind, flag});
}

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
    // Callbacks handed to the driver; the default ones record into the lists above.
    OnceDoneCallback once_done = recordOnceDone;
    CommFailCallback comm_fail = recordCommFail;
};

class DriverSession {
  public:
    // Resets the driver, then hands it the block, the callbacks and the local areas.
    explicit DriverSession(const SessionSettings& s = SessionSettings()) : com(), lw(LW_BYTES, 0) {
        ResetDriverState();
        onceNotices().clear();
        failNotices().clear();
        com.max_block = s.max_block;
        com.default_station = s.default_station;
        com.retry_limit = s.retry_limit;
        com.run_mode = s.run_mode;
        com.multi_station = s.multi_station;
        com.remote_mode = s.remote_mode;
        com.local_link = s.local_link;
        com.cb_context = s.cb_context;
        setHmiAddress(s.hmi_address);
        SetComInfo(&com);
        RegistCallBackFuncIntf(s.once_done, s.comm_fail);
        FlashLocalRegister(lb, lw.data(), rwi);
    }
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // Writes the HMI's IPv4 address text (at most 16 bytes) where the driver reads it.
    void setHmiAddress(const char* text) {
        unsigned char* at = &lw[fins::HMI_ADDRESS_OFFSET];
        std::memset(at, 0, fins::HMI_ADDRESS_BYTES);
        std::memcpy(at, text, std::min<size_t>(fins::HMI_ADDRESS_BYTES, std::strlen(text)));
    }

    // The LW area up to the HMI address text and some room past it.
    static const size_t LW_BYTES = fins::HMI_ADDRESS_OFFSET + 64;

    COM_INFO com;
    std::vector<unsigned char> lw;
    unsigned char lb[16] = {};
    unsigned char rwi[16] = {};
};

// Bytes from hex digits; spaces are ignored.
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
// Hex digits of bytes, upper case, separated by spaces (for readable failures).
inline std::string toHex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper().toStdString();
}

#endif
