// Common starting point of the driver tests: a host communication block handed
// over, the host's local areas with the HMI address text, and recorded callbacks.
// Every test runs in a process of its own, so the driver starts as after load.
#ifndef DRIVER_FIXTURE_H
#define DRIVER_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
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
    int list_size, req_kind, flag;
    bool operator==(const FailNotice& o) const {
        return list_size == o.list_size && req_kind == o.req_kind && flag == o.flag;
    }
};

inline std::vector<OnceNotice>& onceNotices() {
    static std::vector<OnceNotice> v;
    return v;
}
inline std::vector<FailNotice>& failNotices() {
    static std::vector<FailNotice> v;
    return v;
}

inline void recordOnceDone(int ctx, int kind, int id, int status) {
    onceNotices().push_back({ctx, kind, id, status});
}
inline void recordCommFail(QList<RW_VAR>* vars, int kind, int flag) {
    failNotices().push_back({vars ? static_cast<int>(vars->size()) : -1, kind, flag});
}

enum { HMI_ADDRESS_OFFSET = 122400, LW_AREA_BYTES = 122400 + 64 };

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&com, 0, sizeof com);
        com.max_block = 64;
        com.default_station = 1;
        com.retry_limit = 2;
        com.run_mode = 2;
        com.local_link = 0;
        com.cb_context = 77;
        lw.assign(LW_AREA_BYTES, 0);
        setHmiAddress("192.168.250.10");
        SetComInfo(&com);
        RegistCallBackFuncIntf(recordOnceDone, recordCommFail);
        FlashLocalRegister(lb, lw.data(), rwi);
        onceNotices().clear();
        failNotices().clear();
    }

    // Writes the HMI's IPv4 address text where the driver reads it from LW.
    void setHmiAddress(const char* text) {
        std::memset(&lw[HMI_ADDRESS_OFFSET], 0, 16);
        std::memcpy(&lw[HMI_ADDRESS_OFFSET], text, std::min<size_t>(16, std::strlen(text)));
    }

    COM_INFO com;
    std::vector<unsigned char> lw;
    unsigned char lb[16] = {};
    unsigned char rwi[16] = {};
};

// Bytes from a string of hex digits; spaces are ignored.
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Hex digits of bytes, separated by spaces, for readable failure messages.
inline std::string toHex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper().toStdString();
}

#endif
