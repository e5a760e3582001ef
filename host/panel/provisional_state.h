// Stand-in for the host's live state document and request pump, so the panel can be
// built and tested before the host publishes them itself.
#ifndef FINS_HOST_PROVISIONAL_STATE_H
#define FINS_HOST_PROVISIONAL_STATE_H

#include <QJsonArray>
#include <QJsonObject>

#include <map>

#include "host_bridge.h"
#include "host_session.h"

namespace fhost {

class ProvisionalPump {
  public:
    // Queues the bridge's requests through the session (loop thread, each turn).
    void takeRequests(HostBridge& bridge, HostSession& session);
    QJsonObject document(const HostSession& session) const;

  private:
    std::map<size_t, quint64> write_ids_, read_ids_; // session action index -> request id
    QJsonArray refused_;
};

} // namespace fhost

#endif
