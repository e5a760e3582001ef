// Image accessors, host reads and writes, and applying writes to the store.
#ifndef FUNC_GETORSETDATA_H
#define FUNC_GETORSETDATA_H

#include "omron_fins_tcpip.h"

void GetBit_unsigned_char(QByteArray& out, unsigned char* area, int start, int count);
void GetBit_unsigned_short(QByteArray& out, unsigned short* area, int start, int count);
void GetWord_unsigned_char(QByteArray& out, unsigned char* area, int start, int count);
void GetWord_unsigned_short(QByteArray& out, unsigned short* area, int start, int count);
void SetBit_unsigned_char(int start, unsigned char* area, QByteArray* in, int count);
void SetBit_unsigned_short(int start, unsigned short* area, QByteArray* in, int count);
void SetValue_unsigned_short(int start, unsigned short* area, QByteArray* in, int count);
void WriteDataToLocal(RW_VAR* var);

#endif
