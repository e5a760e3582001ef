// Checksums, hexadecimal digit helpers, and the check of a FINS reply.
#ifndef FUNC_CHECK_H
#define FUNC_CHECK_H

#include "omron_fins_tcpip.h"

unsigned short CalSUM(unsigned char* data, unsigned short count);
unsigned short CalCRC(unsigned char* data, unsigned short count);
int CalLRC(unsigned char* data, unsigned short count);
unsigned short CalXOR(unsigned char* data, unsigned short count);
int DigitalToASCII(int v);
int ASCIIToDigital(int c);
// 0 bad, 1 good read reply, 2 good write reply, judged against the outstanding frame.
int CheckGetData(QByteArray* reply, int len);
// The same judgement of reply against the frame it answers.
int CheckReply(const Protocol& frame, const QByteArray& reply);

#endif
