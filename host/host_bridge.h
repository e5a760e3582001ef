// The meeting point between the host's loop and other threads (a browser panel):
// the loop publishes its state document and its tags, and takes the queued screen
// requests.
#ifndef FINS_HOST_BRIDGE_H
#define FINS_HOST_BRIDGE_H

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tag_file.h"

namespace fhost {

// What the loop publishes and what other threads ask of it. Every member is thread-safe.
// A published document is shared read-only and freed by whoever drops it last: the owner
// count is std::shared_ptr's, which ThreadSanitizer sees, not Qt's, which it cannot.
using StateDocument = std::shared_ptr<const QJsonObject>;

class HostBridge {
  public:
    // Loop thread, at every screen refresh (and once at the end): the state document,
    // the same JSON object that --json prints at exit, now live.
    void publish(QJsonObject state);
    // Any thread: the latest document (never null) and its sequence number (0 = nothing yet).
    StateDocument state(quint64* seq = nullptr) const;
    // Any thread: wait until a document newer than `seq` is published or timeout_ms passes.
    bool waitNewer(quint64 seq, int timeout_ms) const;

    // Loop thread, at the start and after each tag file reload: the tags requests may name.
    void publishTags(const std::vector<Tag>& tags);
    // Any thread: a copy of the tag of that name in the latest list; false when none.
    bool findTag(const std::string& name, Tag* out) const;

    struct Request {
        enum Kind { Write, ReadOnce } kind;
        QString tag;
        QString value;
        quint64 id;
    };
    // Any thread: queue a write / one-shot read of a tag of the tag file; returns its id.
    quint64 request(Request::Kind kind, const QString& tag, const QString& value = QString());
    // Loop thread: take the queued requests (each turn; cheap when empty).
    std::vector<Request> takeRequests();
    // Loop thread: wait until a request is queued or `until` passes.
    void waitForRequest(std::chrono::steady_clock::time_point until) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable published_;
    mutable std::condition_variable requested_;
    StateDocument state_ = std::make_shared<const QJsonObject>();
    std::vector<Tag> tags_;
    quint64 seq_ = 0;
    std::vector<Request> requests_;
    quint64 next_id_ = 1;
};

} // namespace fhost

#endif
