// Reply evaluation steps of DataCom and the result-code mapping.
#ifndef REPLY_PROCESSING_H
#define REPLY_PROCESSING_H

#include "omron_fins_tcpip.h"

int DealDataOfLocalArea(QByteArray* reply, int len);
int DealDataOfRemoteArea(QByteArray* reply, int len);
int GetDriverReturnValue(int index);
int SwitchErrorReturn(int base);

#endif
