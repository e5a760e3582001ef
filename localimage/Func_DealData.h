// Storing read replies, and the per-station extended variables.
#ifndef FUNC_DEALDATA_H
#define FUNC_DEALDATA_H

#include "omron_fins_tcpip.h"

void SaveToLocalDataErea(QByteArray* reply);
void SaveWord_unsigned_short(QByteArray* reply, unsigned short* area);
void SaveTC_unsigned_char(QByteArray* reply, unsigned char* area);
int ExtendFindSameVar(int station, int type, int address);

#endif
