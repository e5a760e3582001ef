// Described node address exchange steps for the station plc_add_number.
#ifndef FUNC_HANDSHAKE_H
#define FUNC_HANDSHAKE_H

#include "handshake.h"
#include "omron_fins_tcpip.h"

// Queues the 20-byte node address request for the station plc_add_number.
void OMRON_HandShake();
// 1 when reply is an acceptable node address answer, 0 otherwise.
int OMRON_CheckHSReturn(QByteArray* reply);

#endif
