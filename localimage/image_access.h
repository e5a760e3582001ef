// Bounded forms of the image accessors: each takes the array with its capacity in
// elements. A position below 0 or at or beyond the capacity reads as 0 and is never
// written; the other positions behave as in the unbounded accessors.
#ifndef IMAGE_ACCESS_H
#define IMAGE_ACCESS_H

#include <QByteArray>

namespace image {

// Capacity that bounds nothing reachable: positions stay below 2^34.
const long long NO_BOUND = 1LL << 50;

// Largest buffer size this driver asks a QByteArray to hold.
const long long MAX_BUFFER_BYTES = 0x7FFFFFFFLL - 64;

// Grows out to at least n bytes (never shrinks). False when n is more than a
// QByteArray can hold; out is then unchanged.
bool growTo(QByteArray& out, long long n);

// Range [begin, end) of i in 0..count-1 whose position start + i lies in 0..limit-1.
struct Span {
    long long begin, end;
};
Span positionsWithin(long long start, long long count, long long limit);

void getBits16(QByteArray& out, const unsigned short* area, long long capacity, long long start,
               int count);
void getBits8(QByteArray& out, const unsigned char* area, long long capacity, long long start,
              int count);
void getWords16(QByteArray& out, const unsigned short* area, long long capacity, long long start,
                int count);
// Byte array holding words high byte first; out receives them low byte first.
void getWordsHighFirst8(QByteArray& out, const unsigned char* area, long long capacity,
                        long long start, int count);

void setBits16(long long start, unsigned short* area, long long capacity, const QByteArray* in,
               int count);
void setBits8(long long start, unsigned char* area, long long capacity, const QByteArray* in,
              int count);
void setWords16(long long start, unsigned short* area, long long capacity, const QByteArray* in,
                int count);

} // namespace image

#endif
