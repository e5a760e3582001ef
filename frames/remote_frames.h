// Remote-mode requests: the variable described in a short checksummed record, with the
// whole 32-bit address. Bytes only, like the FINS requests.
#ifndef REMOTE_FRAMES_H
#define REMOTE_FRAMES_H

#include "omron_fins_tcpip.h"

namespace frames {

Protocol makeRemoteReadFrame(const RW_VAR& var);
// The description followed by the value bytes of the write.
Protocol makeRemoteWriteFrame(const RW_VAR& var);

} // namespace frames

#endif
