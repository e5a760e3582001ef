// Helpers shared by the local-image tests: staging a read reply, whole-image
// snapshots and short host reads and writes.
#ifndef LOCAL_IMAGE_SUPPORT_H
#define LOCAL_IMAGE_SUPPORT_H

#include <climits>

#include "Func_DealData.h"
#include "Func_GetOrSetData.h"
#include "driver_fixture.h"
#include "driver_object.h"

// Every byte of the nine image arrays, in member order.
inline QByteArray imageSnapshot() {
    const char* first = reinterpret_cast<const char*>(PLC_driver.cio_image);
    const char* end =
        reinterpret_cast<const char*>(PLC_driver.c_flag_image) + sizeof PLC_driver.c_flag_image;
    return QByteArray(first, static_cast<int>(end - first));
}

// Puts a read frame for (type, address, station) at the head of protocol_list.
inline void stageRead(int reg_type, int address, int station, int data_bytes,
                      int data_offset = 30) {
    Protocol p = {};
    p.p_aux1 = data_offset;
    p.p_aux2 = data_bytes;
    p.var.reg_type = reg_type;
    p.var.address = address;
    p.var.station = station;
    PLC_driver.protocol_list.clear();
    PLC_driver.protocol_list.append(p);
}

// A memory area read reply: 30 header bytes, then the data bytes given in hex.
inline QByteArray readReply(const char* data_hex) {
    QByteArray r(30, '\0');
    r.append(hex(data_hex));
    return r;
}

// Host read into an empty buffer.
inline QByteArray hostRead(int reg_type, const char* addr, int count, int station = 1) {
    QString text = QString::fromLatin1(addr);
    QByteArray out;
    GetRegisterData(nullptr, reg_type, &text, station, &out, count);
    return out;
}

inline int hostWrite(int reg_type, const char* addr, const char* value_hex, int count,
                     int station = 1) {
    QString name = QStringLiteral("var");
    QString text = QString::fromLatin1(addr);
    QByteArray value = hex(value_hex);
    return SetRegisterData(&name, reg_type, &text, station, &value, count, 3, 9);
}

// A write record as WriteDataToLocal receives it.
inline RW_VAR writeRecord(int reg_type, int address, int length, const char* value_hex,
                          int station = 1) {
    RW_VAR v = {};
    v.access = 1;
    v.reg_type = reg_type;
    v.address = address;
    v.length = length;
    v.station = station;
    v.value = hex(value_hex);
    return v;
}

// Index of the entry with this key, by a plain walk of extend_list; -1 when absent.
inline int linearFind(int station, int type, int address) {
    const QList<EXTENDVAR>& list = PLC_driver.extend_list;
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).ext_station == station && list.at(i).ext_type == type &&
            list.at(i).ext_address == address)
            return i;
    return -1;
}

inline QByteArray entryValue(int station, int type, int address) {
    const int i = linearFind(station, type, address);
    return i < 0 ? QByteArray("absent") : PLC_driver.extend_list.at(i).ext_value;
}

#endif
