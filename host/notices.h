// The two driver callbacks. The driver calls them with its list mutex held, so they
// only record what they were told; the session reads the records after DataCom and
// keeps what it tells the user in a NoticeLog.
#ifndef FINS_HOST_NOTICES_H
#define FINS_HOST_NOTICES_H

#include <string>
#include <vector>

#include "omron_fins_tcpip.h"
#include "plc_connection.h"

namespace fhost {

struct RawNotice {
    enum Kind { OnceDone, CommFail } kind;
    int cb_context; // OnceDone
    int req_kind;
    int req_id;    // OnceDone
    int status;    // OnceDone: 1 done, 2 failed
    int list_size; // CommFail
    int flag;      // CommFail
};

void recordOnceDone(int cb_context, int req_kind, int req_id, int status);
void recordCommFail(QList<RW_VAR>* vars, int req_kind, int flag);

// Everything recorded since the last call, in order.
std::vector<RawNotice> takeRawNotices();

// A notice with the identical ones that followed it within a second folded in.
struct Notice {
    std::string text;
    int count = 1;
    Clock::time_point last;
};

// The latest notices for the screen and the state document, folded and bounded.
class NoticeLog {
  public:
    void add(const std::string& text);
    const std::vector<Notice>& all() const { return notices_; }
    long dropped() const { return dropped_; } // the oldest, left out beyond the bound

  private:
    std::vector<Notice> notices_;
    long dropped_ = 0;
};

} // namespace fhost

#endif
