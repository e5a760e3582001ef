// Image accessors, reads of the store for the host, and applying writes to the store.
#ifndef FUNC_GETORSETDATA_H
#define FUNC_GETORSETDATA_H

#include "fins_codec.h"
#include "omron_fins_tcpip.h"

void GetBit_unsigned_char(QByteArray& out, unsigned char* area, int start, int count);
void GetBit_unsigned_short(QByteArray& out, unsigned short* area, int start, int count);
void GetWord_unsigned_char(QByteArray& out, unsigned char* area, int start, int count);
void GetWord_unsigned_short(QByteArray& out, unsigned short* area, int start, int count);
void SetBit_unsigned_char(int start, unsigned char* area, QByteArray* in, int count);
void SetBit_unsigned_short(int start, unsigned short* area, QByteArray* in, int count);
void SetValue_unsigned_short(int start, unsigned short* area, QByteArray* in, int count);

// The following run with data_mutex held.

// Applies a write to the image (single station) or the station's entries: bits and
// words only in the image; in the store bits go into their word entries, every other
// type is kept as words.
void applyWriteToStore(const RW_VAR& var, bool multi_station);

// Bytes a host read of count elements fills: one per bit or flag, two per word
// (also for a type without an area, which the per-station store keeps as words).
long long hostReadBytes(const fins::RegType* t, int count);
// Fills out[0, hostReadBytes) with count elements from n: from the station's entries
// (created when missing), or from the single-station image of t. out must hold them.
void readStationValues(QByteArray& out, int station, int reg_type, long long n, int count);
void readImageValues(QByteArray& out, const fins::RegType& t, long long n, int count);

#endif
