// The event stream of one browser: the whole state document first, then at every
// published document only what changed, as Server-Sent Events.
#ifndef FINS_HOST_PANEL_EVENTS_H
#define FINS_HOST_PANEL_EVENTS_H

#include <QJsonObject>

#include <string>

#include "host_bridge.h"

namespace fhost {

class PanelEventStream {
  public:
    // "event: state" with the document (and the reconnect delay) the first time; then "event:
    // update" with the status, the tags whose values, staleness or age in whole seconds changed,
    // and the stations, actions and notices when they changed.
    std::string next(const StateDocument& document);

  private:
    StateDocument last_; // kept whole, so that its last owner frees it

    bool started_ = false;
};

} // namespace fhost

#endif
