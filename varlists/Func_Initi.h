// Address strings, the cyclic read-list rebuild and the write and one-shot queues.
#ifndef FUNC_INITI_H
#define FUNC_INITI_H

#include "omron_fins_tcpip.h"

int StringAddressToInt(int reg_type, QString addr_text);
void WhetherGroup(int length, int maximum, RW_VAR* templ, QList<RW_VAR>* dest);
void Bubble_Sort(QList<RW_VAR>* list);
int WordVarReCreat(QList<RW_VAR>* group, int maximum, int count);
int BitVarReCreat(QList<RW_VAR>* group, int maximum, int count);
// Appends to read_list without taking list_mutex; the rebuild holds it already.
int AppendReadVarLocked(const RW_VAR& var);

#endif
