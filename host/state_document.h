// The state document: what --json prints at the end and what the loop publishes
// to other threads at every screen refresh.
#ifndef FINS_HOST_STATE_DOCUMENT_H
#define FINS_HOST_STATE_DOCUMENT_H

#include <QJsonObject>

#include "host_session.h"

namespace fhost {

// Notices beyond this many are left out of the document (the count says how many).
enum { NOTICES_IN_DOCUMENT = 100 };

// `tags`: every tag read once for this refresh (HostSession::viewTags).
QJsonObject stateDocument(const HostSession& session, const std::vector<TagView>& tags);

} // namespace fhost

#endif
