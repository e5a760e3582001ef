#include "Func_Check.h"

unsigned short CalSUM(unsigned char*, unsigned short) { return 0; }
unsigned short CalCRC(unsigned char*, unsigned short) { return 0; }
int CalLRC(unsigned char*, unsigned short) { return 0; }
unsigned short CalXOR(unsigned char*, unsigned short) { return 0; }
int DigitalToASCII(int) { return 0; }
int ASCIIToDigital(int) { return 0; }
int CheckGetData(QByteArray*, int) { return 0; }
