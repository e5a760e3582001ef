// FINS/TCP node address handshake: the request and the judgement of its answer.
#ifndef FUNC_HANDSHAKE_H
#define FUNC_HANDSHAKE_H

#include "omron_fins_tcpip.h"

// Queues the 20-byte node address request for the station plc_add_number.
void OMRON_HandShake();
// 1 when reply is an acceptable node address answer, 0 otherwise.
int OMRON_CheckHSReturn(QByteArray* reply);

// Queues the node address request on behalf of station.
void BuildHandShake(int station);
// Applies a handshake answer to the station's node state (nullptr when map_list has
// none); returns result 1 or 201.
int EvaluateHandShakeReply(Check_Plc* station, const QByteArray* reply);
// Forgets the HMI address read from LW, so the next handshake reads it again.
void ResetHmiAddress();

#endif
