// Storing read replies, and the per-station extended variables.
#ifndef FUNC_DEALDATA_H
#define FUNC_DEALDATA_H

#include "omron_fins_tcpip.h"

void SaveToLocalDataErea(QByteArray* reply);
// Stores the data of reply, the answer to the read frame, into the image or (in
// multi-station mode) the station's extended variables. data_mutex must be held.
void StoreReply(const Protocol& frame, const QByteArray& reply, bool multi_station);
void SaveWord_unsigned_short(QByteArray* reply, unsigned short* area);
void SaveTC_unsigned_char(QByteArray* reply, unsigned char* area);
int ExtendFindSameVar(int station, int type, int address);

// Value bytes of the extend_list entry at index (an index ExtendFindSameVar returned).
inline const QByteArray& extendValueAt(int index) {
    return PLC_driver.extend_list.at(index).ext_value;
}
// Replaces the value of the entry at index by n bytes, reusing the entry's storage.
void storeExtendValue(int index, const char* bytes, int n);

// Lookup key of (station, type, address) in the index over extend_list; distinct for
// stations and types below 65536. Colliding keys are told apart by the entry they point to.
inline quint64 extendKey(int station, int type, int address) {
    const quint64 station_address =
        (static_cast<quint64>(static_cast<quint32>(station)) << 32) | static_cast<quint32>(address);
    return station_address ^ (static_cast<quint64>(static_cast<quint32>(type)) << 48);
}

#endif
