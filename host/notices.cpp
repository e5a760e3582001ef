#include "notices.h"

#include <mutex>

namespace fhost {

namespace {

const size_t kNoticesKept = 200;
const double kNoticeFoldMs = 1000;

std::mutex& noticeMutex() {
    static std::mutex m;
    return m;
}
std::vector<RawNotice>& pending() {
    static std::vector<RawNotice> v;
    return v;
}

void push(const RawNotice& n) {
    std::lock_guard<std::mutex> lock(noticeMutex());
    pending().push_back(n);
}

} // namespace

void recordOnceDone(int cb_context, int req_kind, int req_id, int status) {
    push({RawNotice::OnceDone, cb_context, req_kind, req_id, status, 0, 0});
}

void recordCommFail(QList<RW_VAR>* vars, int req_kind, int flag) {
    push(
        {RawNotice::CommFail, 0, req_kind, 0, 0, vars ? static_cast<int>(vars->size()) : -1, flag});
}

std::vector<RawNotice> takeRawNotices() {
    std::lock_guard<std::mutex> lock(noticeMutex());
    std::vector<RawNotice> out;
    out.swap(pending());
    return out;
}

void NoticeLog::add(const std::string& text) {
    const Clock::time_point now = Clock::now();
    for (auto it = notices_.rbegin(); it != notices_.rend(); ++it) {
        if (std::chrono::duration<double, std::milli>(now - it->last).count() >= kNoticeFoldMs)
            break;
        if (it->text != text) continue;
        ++it->count;
        it->last = now;
        return;
    }
    notices_.push_back(Notice{text, 1, now});
    if (notices_.size() > kNoticesKept) {
        dropped_ += static_cast<long>(notices_.size() - kNoticesKept);
        notices_.erase(notices_.begin(), notices_.end() - kNoticesKept);
    }
}

} // namespace fhost
