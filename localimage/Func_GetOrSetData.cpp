// Image accessors, host reads and writes, and applying writes to the local store.
#include "Func_GetOrSetData.h"

#include <algorithm>
#include <cstring>

#include "Func_DealData.h"
#include "extend_store.h"
#include "fins_codec.h"
#include "image_access.h"
#include "image_areas.h"

// ---- Bounded accessors ----------------------------------------------------------

namespace image {

namespace {

// Positions covered by capacity elements of per_element positions each.
long long positionsIn(const void* area, long long capacity, long long per_element) {
    return area ? capacity * per_element : 0;
}

void fillZero(char* out, long long from, long long to) {
    if (to > from) std::memset(out + from, 0, static_cast<size_t>(to - from));
}

unsigned char byteAt(const unsigned char* area, long long capacity, long long pos) {
    return area && pos >= 0 && pos < capacity ? area[pos] : 0;
}

// Bit pos of an array of T: element pos / (bits of T), bit pos mod (bits of T).
template <typename T> constexpr int bitsOf() {
    return static_cast<int>(sizeof(T) * 8);
}

template <typename T> void putBit(T* area, long long pos, bool on) {
    const T mask = static_cast<T>(1u << (pos % bitsOf<T>()));
    T& element = area[pos / bitsOf<T>()];
    element = on ? static_cast<T>(element | mask) : static_cast<T>(element & ~mask);
}

template <typename T>
void getBits(QByteArray& out, const T* area, long long capacity, long long start, int count) {
    if (count < 1 || !growTo(out, count)) return;
    char* o = out.data();
    const Span s = positionsWithin(start, count, positionsIn(area, capacity, bitsOf<T>()));
    fillZero(o, 0, s.begin);
    for (long long i = s.begin; i < s.end; ++i) {
        const long long pos = start + i;
        o[i] = static_cast<char>((area[pos / bitsOf<T>()] >> (pos % bitsOf<T>())) & 1);
    }
    fillZero(o, s.end, count);
}

template <typename T>
void setBits(long long start, T* area, long long capacity, const QByteArray* in, int count) {
    if (!area || !in || count < 1) return;
    const fins::Reader r(*in);
    const Span s = positionsWithin(start, std::min(count, r.size()), capacity * bitsOf<T>());
    for (long long i = s.begin; i < s.end; ++i) {
        quint8 v = 0;
        putBit(area, start + i, r.u8At(i, v) && v == 1);
    }
}

} // namespace

bool growTo(QByteArray& out, long long n) {
    if (n > MAX_BUFFER_BYTES) return false;
    if (out.size() < n) out.resize(static_cast<int>(n));
    return true;
}

Span positionsWithin(long long start, long long count, long long limit) {
    if (count < 0) count = 0;
    const long long begin = std::min(count, start < 0 ? -start : 0LL);
    const long long end = std::max(begin, std::min(count, limit - start));
    return {begin, end};
}

void getBits16(QByteArray& out, const unsigned short* area, long long capacity, long long start,
               int count) {
    getBits(out, area, capacity, start, count);
}

void getBits8(QByteArray& out, const unsigned char* area, long long capacity, long long start,
              int count) {
    getBits(out, area, capacity, start, count);
}

void getWords16(QByteArray& out, const unsigned short* area, long long capacity, long long start,
                int count) {
    if (count < 1 || !growTo(out, 2LL * count)) return;
    char* o = out.data();
    const Span s = positionsWithin(start, count, positionsIn(area, capacity, 1));
    fillZero(o, 0, 2 * s.begin);
    for (long long k = s.begin; k < s.end; ++k) {
        const unsigned short w = area[start + k];
        o[2 * k] = static_cast<char>(w & 0xFF);
        o[2 * k + 1] = static_cast<char>(w >> 8);
    }
    fillZero(o, 2 * s.end, 2LL * count);
}

void getWordsHighFirst8(QByteArray& out, const unsigned char* area, long long capacity,
                        long long start, int count) {
    if (count < 1 || !growTo(out, 2LL * count)) return;
    char* o = out.data();
    if (!area) capacity = 0;
    // Words k with at least one of their bytes start + 2k, start + 2k + 1 in the array.
    const long long k_begin = std::min<long long>(count, start >= -1 ? 0 : -start / 2);
    const long long k_end = std::max(
        k_begin, std::min<long long>(count, start >= capacity ? 0 : (capacity - start + 1) / 2));
    fillZero(o, 0, 2 * k_begin);
    for (long long k = k_begin; k < k_end; ++k) {
        o[2 * k] = static_cast<char>(byteAt(area, capacity, start + 2 * k + 1));
        o[2 * k + 1] = static_cast<char>(byteAt(area, capacity, start + 2 * k));
    }
    fillZero(o, 2 * k_end, 2LL * count);
}

void setBits16(long long start, unsigned short* area, long long capacity, const QByteArray* in,
               int count) {
    setBits(start, area, capacity, in, count);
}

void setBits8(long long start, unsigned char* area, long long capacity, const QByteArray* in,
              int count) {
    setBits(start, area, capacity, in, count);
}

void setWords16(long long start, unsigned short* area, long long capacity, const QByteArray* in,
                int count) {
    if (!area || !in || count < 1) return;
    const fins::Reader r(*in);
    const Span s = positionsWithin(start, std::min(count, r.size() / 2), capacity);
    for (long long k = s.begin; k < s.end; ++k)
        fins::hostWordAt(*in, k, area[start + k]);
}

} // namespace image

namespace {

// Capacity of an accessor's array: up to the end of the driver's image array that holds
// it; a pointer outside the nine arrays is the caller's own memory and is not bounded.
template <typename T> long long accessorBound(const T* area) {
    const long long capacity = imageCapacityFrom(area);
    return capacity < 0 ? image::NO_BOUND : capacity;
}

} // namespace

void GetBit_unsigned_char(QByteArray& out, unsigned char* area, int start, int count) {
    image::getBits8(out, area, accessorBound(area), start, count);
}
void GetBit_unsigned_short(QByteArray& out, unsigned short* area, int start, int count) {
    image::getBits16(out, area, accessorBound(area), start, count);
}
void GetWord_unsigned_char(QByteArray& out, unsigned char* area, int start, int count) {
    image::getWordsHighFirst8(out, area, accessorBound(area), start, count);
}
void GetWord_unsigned_short(QByteArray& out, unsigned short* area, int start, int count) {
    image::getWords16(out, area, accessorBound(area), start, count);
}
void SetBit_unsigned_char(int start, unsigned char* area, QByteArray* in, int count) {
    image::setBits8(start, area, accessorBound(area), in, count);
}
void SetBit_unsigned_short(int start, unsigned short* area, QByteArray* in, int count) {
    image::setBits16(start, area, accessorBound(area), in, count);
}
void SetValue_unsigned_short(int start, unsigned short* area, QByteArray* in, int count) {
    image::setWords16(start, area, accessorBound(area), in, count);
}

// ---- Per-station reads and writes -----------------------------------------------

namespace {

// Bit b of a bit type lives in the word entry (station, word type, b / 16): byte
// (b / 8) mod 2 of its value, bit b mod 8.
void readExtendedBits(char* out, int station, const fins::RegType& t, long long start,
                      const image::Span& s) {
    ExtendStore& store = extendStore();
    long long word = -1;
    int index = -1;
    for (long long i = s.begin; i < s.end; ++i) {
        const long long b = start + i;
        if ((b >> 4) != word) {
            word = b >> 4;
            index = store.findOrCreate(station, t.word_type, static_cast<int>(word));
        }
        const QByteArray& v = store.valueAt(index);
        const int byte = static_cast<int>((b >> 3) & 1);
        out[i] = v.size() > byte
                     ? static_cast<char>((static_cast<unsigned char>(v[byte]) >> (b & 7)) & 1)
                     : 0;
    }
}

// Flag f lives in bit f mod 8 of the entry of its group of eight (station, type, f - f mod 8).
void readExtendedFlags(char* out, int station, int type, long long start, const image::Span& s) {
    ExtendStore& store = extendStore();
    long long group = -1;
    int index = -1;
    for (long long i = s.begin; i < s.end; ++i) {
        const long long f = start + i;
        if (f - (f & 7) != group) {
            group = f - (f & 7);
            index = store.findOrCreate(station, type, static_cast<int>(group));
        }
        const QByteArray& v = store.valueAt(index);
        out[i] =
            v.isEmpty() ? 0 : static_cast<char>((static_cast<unsigned char>(v[0]) >> (f & 7)) & 1);
    }
}

// Word k comes from the entry (station, type, start + k), low byte first; an entry with
// fewer than two bytes reads as 0.
void readExtendedWords(char* out, int station, int type, long long start, const image::Span& s) {
    ExtendStore& store = extendStore();
    for (long long k = s.begin; k < s.end; ++k) {
        const QByteArray& v =
            store.valueAt(store.findOrCreate(station, type, static_cast<int>(start + k)));
        const bool whole = v.size() >= 2;
        out[2 * k] = whole ? v[0] : 0;
        out[2 * k + 1] = whole ? v[1] : 0;
    }
}

} // namespace

long long hostReadBytes(const fins::RegType* t, int count) {
    const bool one_byte = t && (t->unit == fins::Unit::Bit || t->unit == fins::Unit::Flag);
    return one_byte ? count : 2LL * count;
}

void readStationValues(QByteArray& out, int station, int reg_type, long long n, int count) {
    const fins::RegType* t = fins::regType(reg_type);
    const long long bytes_per_element = hostReadBytes(t, 1);
    const image::Span s = image::positionsWithin(n, count, STORE_POSITIONS);
    char* o = out.data();
    std::memset(o, 0, static_cast<size_t>(bytes_per_element * s.begin));
    if (t && t->unit == fins::Unit::Bit)
        readExtendedBits(o, station, *t, n, s);
    else if (t && t->unit == fins::Unit::Flag)
        readExtendedFlags(o, station, reg_type, n, s);
    else
        readExtendedWords(o, station, reg_type, n, s);
    std::memset(o + bytes_per_element * s.end, 0,
                static_cast<size_t>(bytes_per_element * (count - s.end)));
}

void readImageValues(QByteArray& out, const fins::RegType& t, long long n, int count) {
    if (t.unit == fins::Unit::Flag) {
        const FlagImage f = flagImage(t.image);
        image::getBits8(out, f.bytes, f.capacity, n, count);
        return;
    }
    const WordImage w = wordImage(t.image);
    if (t.unit == fins::Unit::Bit)
        image::getBits16(out, w.words, w.capacity, n, count);
    else
        image::getWords16(out, w.words, w.capacity, n, count);
}

namespace {

// Multi-station bit write: the word entry must hold both bytes; value 1 sets the bit,
// 0 clears it, any other value leaves it. Only bits the value carries are looked up, so
// a long length with a short value makes no entries.
void applyExtendedBits(const RW_VAR& var, const fins::RegType& t) {
    const fins::Reader r(var.value);
    ExtendStore& store = extendStore();
    const int carried = std::min(var.length, var.value.size());
    const image::Span s = image::positionsWithin(var.address, carried, STORE_POSITIONS);
    for (long long i = s.begin; i < s.end; ++i) {
        const long long b = static_cast<long long>(var.address) + i;
        const int index = store.findOrCreate(var.station, t.word_type, static_cast<int>(b >> 4));
        quint8 bit_value = 0;
        if (!r.u8At(i, bit_value) || store.valueAt(index).size() < 2 || bit_value > 1) continue;
        char& byte = store.wordByte(index, static_cast<int>((b >> 3) & 1));
        const char mask = static_cast<char>(1 << (b & 7));
        byte = static_cast<char>(bit_value == 1 ? (byte | mask) : (byte & ~mask));
    }
}

// Multi-station write of any other type: word k, when both its bytes exist, replaces the
// value of the entry (station, type, address + k); other words are not looked up.
void applyExtendedWords(const RW_VAR& var) {
    const int words = std::min(var.length, var.value.size() / 2);
    ExtendStore& store = extendStore();
    const image::Span s = image::positionsWithin(var.address, words, STORE_POSITIONS);
    for (long long k = s.begin; k < s.end; ++k) {
        const char* low_first = var.value.constData() + 2 * k;
        const int index =
            store.findOrCreate(var.station, var.reg_type, static_cast<int>(var.address + k));
        store.store(index, low_first, 2);
    }
}

void applyToImage(const RW_VAR& var, const fins::RegType* t) {
    if (!t || t->unit == fins::Unit::Flag) return;
    const WordImage w = wordImage(t->image);
    if (t->unit == fins::Unit::Bit)
        image::setBits16(var.address, w.words, w.capacity, &var.value, var.length);
    else
        image::setWords16(var.address, w.words, w.capacity, &var.value, var.length);
}

} // namespace

void applyWriteToStore(const RW_VAR& var, bool multi_station) {
    const fins::RegType* t = fins::regType(var.reg_type);
    if (!multi_station)
        applyToImage(var, t);
    else if (t && t->unit == fins::Unit::Bit)
        applyExtendedBits(var, *t);
    else
        applyExtendedWords(var);
}
