// The two driver callbacks. The driver calls them with its list mutex held, so they
// only record what they were told; the session reads the records after DataCom.
#ifndef FINS_HOST_NOTICES_H
#define FINS_HOST_NOTICES_H

#include <vector>

#include "omron_fins_tcpip.h"

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

} // namespace fhost

#endif
