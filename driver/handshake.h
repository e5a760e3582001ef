// FINS/TCP node address exchange: the node the HMI proposes and the judgement of the
// PLC's answer.
#ifndef HANDSHAKE_H
#define HANDSHAKE_H

#include "omron_fins_tcpip.h"

// The node the HMI proposes: the last number of the IPv4 address text the host keeps in
// LW, read once it is there as four dotted parts; 100 until then.
unsigned char proposedHmiNode();
// Applies a handshake answer to the station's node state (nullptr when map_list has
// none); returns result 1 or 201.
int EvaluateHandShakeReply(Check_Plc* station, const QByteArray* reply);
// Forgets the HMI address read from LW, so the next handshake reads it again.
void ResetHmiAddress();

#endif
