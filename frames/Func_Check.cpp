#include "Func_Check.h"

unsigned short CalSUM(unsigned char* data, unsigned short count) {
    unsigned short sum = 0;
    for (unsigned int i = 0; i < count; ++i)
        sum = static_cast<unsigned short>(sum + data[i]);
    return sum;
}

// CRC-16 with the reflected polynomial 0xA001, start value 0xFFFF, no final XOR.
unsigned short CalCRC(unsigned char* data, unsigned short count) {
    unsigned short crc = 0xFFFF;
    for (unsigned int i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1u) ? static_cast<unsigned short>((crc >> 1) ^ 0xA001u)
                             : static_cast<unsigned short>(crc >> 1);
    }
    return crc;
}

// Complement of the low byte of the sum, plus one, not reduced to 8 bits (1 to 256).
int CalLRC(unsigned char* data, unsigned short count) {
    const unsigned int low = CalSUM(data, count) & 0xFFu;
    return static_cast<int>(0xFFu - low) + 1;
}

// The first byte is always read, so the buffer must hold at least one byte.
unsigned short CalXOR(unsigned char* data, unsigned short count) {
    unsigned short x = data[0];
    for (unsigned int i = 1; i < count; ++i)
        x ^= data[i];
    return x;
}

int DigitalToASCII(int v) {
    return v <= 9 ? v + 0x30 : v + 0x37;
}

int ASCIIToDigital(int c) {
    if (c <= 0x2F) return 0;
    if (c <= 0x3F) return c - 0x30;
    if (c == 0x40) return 0;
    return c - 0x37;
}
