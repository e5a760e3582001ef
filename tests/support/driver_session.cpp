#include "driver_session.h"

#include <algorithm>
#include <cstring>

#include "driver_object.h"
#include "fins_codec.h"

std::vector<OnceNotice>& onceNotices() {
    static std::vector<OnceNotice> notices;
    return notices;
}

std::vector<FailNotice>& failNotices() {
    static std::vector<FailNotice> notices;
    return notices;
}

namespace {

// The LW area up to the HMI address text and some room past it.
const size_t LW_BYTES = fins::HMI_ADDRESS_OFFSET + 64;

void recordOnceDone(int ctx, int kind, int id, int status) {
    onceNotices().push_back({ctx, kind, id, status});
}

void recordCommFail(QList<RW_VAR>* vars, int kind, int flag) {
    failNotices().push_back({vars ? static_cast<int>(vars->size()) : -1, kind, flag});
}

} // namespace

DriverSession::DriverSession(const SessionSettings& s)
    : com(), lw(LW_BYTES, 0) {
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
    RegistCallBackFuncIntf(recordOnceDone, recordCommFail);
    FlashLocalRegister(lb, lw.data(), rwi);
}

void DriverSession::setHmiAddress(const char* text) {
    unsigned char* at = &lw[fins::HMI_ADDRESS_OFFSET];
    std::memset(at, 0, fins::HMI_ADDRESS_BYTES);
    std::memcpy(at, text, std::min<size_t>(fins::HMI_ADDRESS_BYTES, std::strlen(text)));
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

std::string toHex(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper().toStdString();
}
