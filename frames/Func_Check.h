// Checksums and hexadecimal digit helpers of the frame makers.
#ifndef FUNC_CHECK_H
#define FUNC_CHECK_H

unsigned short CalSUM(unsigned char* data, unsigned short count);
unsigned short CalCRC(unsigned char* data, unsigned short count);
int CalLRC(unsigned char* data, unsigned short count);
unsigned short CalXOR(unsigned char* data, unsigned short count);
int DigitalToASCII(int v);
int ASCIIToDigital(int c);

#endif
