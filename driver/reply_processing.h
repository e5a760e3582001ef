// Reply evaluation steps of DataCom, the result-code mapping, and the queue
// clean-up that both reply evaluation and the scheduler apply to one-shot requesters.
#ifndef REPLY_PROCESSING_H
#define REPLY_PROCESSING_H

#include "omron_fins_tcpip.h"

// 0 bad, 1 good read reply, 2 good write reply: the one judgement of a reply against
// the frame it answers (FINS/TCP error code and direction; the end code is not judged).
int CheckReply(const Protocol& frame, const QByteArray& reply);
// The same for the outstanding frame.
int CheckGetData(QByteArray* reply, int len);
int DealDataOfLocalArea(QByteArray* reply, int len);
int DealDataOfRemoteArea(QByteArray* reply, int len);
int GetDriverReturnValue(int index);
int SwitchErrorReturn(int base);

// The following run with list_mutex held.

// Calls once_done_cb (when registered) for the requester of entry with status.
void SendOnceNotice(const RW_VAR& entry, int status);

// Removes from once_list every entry of the requester (req_kind, req_id) of var;
// with same_station set only those whose station also equals var's.
void PurgeOnceRequester(const RW_VAR& var, bool same_station);

// Removes from write_list every entry of station.
void PurgeWritesOfStation(int station);

#endif
