// The variable lists: address texts, the cyclic read-list rebuild, and how requests
// enter the write and one-shot queues. Functions named ...Locked run with list_mutex
// held by their caller; none takes a lock itself.
#ifndef FUNC_INITI_H
#define FUNC_INITI_H

#include "omron_fins_tcpip.h"

int StringAddressToInt(int reg_type, QString addr_text);
void WhetherGroup(int length, int maximum, RW_VAR* templ, QList<RW_VAR>* dest);
void Bubble_Sort(QList<RW_VAR>* list);
int WordVarReCreat(QList<RW_VAR>* group, int maximum, int count);
int BitVarReCreat(QList<RW_VAR>* group, int maximum, int count);
// Appends to read_list; returns its size.
int AppendReadVarLocked(const RW_VAR& var);
// Rebuilds read_list from the host's variables; returns its size (0 and an empty list
// when the rebuild fails).
int RebuildReadListLocked(const QList<VAR_DESC>* vars);
// Queues a write: appended when direct is 1 or the queue is short, else it replaces a
// queued write to the same place (the head excluded), else it is appended up to the
// queue limit. Returns the queue size.
int QueueWriteLocked(RW_VAR* var, int direct);
// Queues a one-shot read: as given when direct is 1, else split into read pieces, each
// queued unless the same requester already waits for it. Rewrites var. Returns the
// queue size.
int QueueOnceReadLocked(RW_VAR* var, int direct);

#endif
