// Storing read replies into the image or the per-station store. Callers hold data_mutex.
#ifndef FUNC_DEALDATA_H
#define FUNC_DEALDATA_H

#include "extend_store.h"
#include "omron_fins_tcpip.h"

void SaveToLocalDataErea(QByteArray* reply);
// Stores the data of reply, the answer to the read frame, into the image or (in
// multi-station mode) the station's extended variables. data_mutex must be held.
void StoreReply(const Protocol& frame, const QByteArray& reply, bool multi_station);
void SaveWord_unsigned_short(QByteArray* reply, unsigned short* area);
void SaveTC_unsigned_char(QByteArray* reply, unsigned char* area);
int ExtendFindSameVar(int station, int type, int address);

// Value bytes of the entry at index (an index ExtendFindSameVar returned).
inline const QByteArray& extendValueAt(int index) {
    return extendStore().valueAt(index);
}
// Replaces the value of the entry at index by n bytes.
inline void storeExtendValue(int index, const char* bytes, int n) {
    extendStore().store(index, bytes, n);
}

#endif
