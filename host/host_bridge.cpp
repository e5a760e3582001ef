#include "host_bridge.h"

#include <chrono>

namespace fhost {

void HostBridge::publish(QJsonObject state) {
    StateDocument document = std::make_shared<const QJsonObject>(std::move(state));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.swap(document);
        ++seq_;
    }
    published_.notify_all();
}

StateDocument HostBridge::state(quint64* seq) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (seq) *seq = seq_;
    return state_;
}

bool HostBridge::waitNewer(quint64 seq, int timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return published_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                               [&] { return seq_ > seq; });
}

void HostBridge::publishTags(const std::vector<Tag>& tags) {
    std::lock_guard<std::mutex> lock(mutex_);
    tags_ = tags;
}

bool HostBridge::findTag(const std::string& name, Tag* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Tag* tag = fhost::findTag(tags_, name);
    if (tag) *out = *tag;
    return tag != nullptr;
}

quint64 HostBridge::request(Request::Kind kind, const QString& tag, const QString& value) {
    quint64 id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = next_id_++;
        requests_.push_back(Request{kind, tag, value, id});
    }
    requested_.notify_all();
    return id;
}

void HostBridge::waitForRequest(std::chrono::steady_clock::time_point until) const {
    std::unique_lock<std::mutex> lock(mutex_);
    requested_.wait_until(lock, until, [&] { return !requests_.empty(); });
}

std::vector<HostBridge::Request> HostBridge::takeRequests() {
    std::vector<Request> out;
    std::lock_guard<std::mutex> lock(mutex_);
    out.swap(requests_);
    return out;
}

} // namespace fhost
