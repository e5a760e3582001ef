// Storing read replies into the local image or, in multi-station mode, the station's
// entries of the per-station store.
#include "Func_DealData.h"

#include <algorithm>

#include "extend_store.h"
#include "fins_codec.h"
#include "image_access.h"
#include "image_areas.h"

namespace {

// The data bytes of the reply that the head frame describes.
struct ReplyData {
    fins::Reader reader;
    long long offset;  // p_aux1
    long long bytes;   // p_aux2
    long long address; // var.address
};

ReplyData replyData(const QByteArray& reply, const Protocol& head) {
    return {fins::Reader(reply), head.p_aux1, head.p_aux2, head.var.address};
}

void storeWords(const ReplyData& r, unsigned short* area, long long capacity) {
    if (!area || r.bytes < 2) return;
    const image::Span s = image::positionsWithin(r.address, r.bytes / 2, capacity);
    for (long long k = s.begin; k < s.end; ++k) {
        quint16 word = 0;
        if (!fins::replyDataWord(r.reader, r.offset, k, word)) break; // later words keep theirs
        area[r.address + k] = word;
    }
}

void storeFlagBytes(const ReplyData& r, unsigned char* area, long long capacity) {
    if (!area || r.bytes < 8) return;
    const image::Span s = image::positionsWithin(r.address / 8, r.bytes / 8, capacity);
    for (long long g = s.begin; g < s.end; ++g) {
        quint8 packed = 0;
        if (!fins::replyFlagGroup(r.reader, r.offset, g, packed)) break;
        area[r.address / 8 + g] = packed;
    }
}

// Multi-station words: one entry per word, value low byte first; a word the reply does
// not cover leaves its entry empty.
void storeWordEntries(const ReplyData& r, int station, int type) {
    if (r.bytes < 2) return;
    const image::Span s =
        image::positionsWithin(r.address, r.bytes / 2, STORE_POSITIONS);
    ExtendStore& store = extendStore();
    for (long long k = s.begin; k < s.end; ++k) {
        const int index = store.findOrCreate(station, type, static_cast<int>(r.address + k));
        quint16 word = 0;
        const bool there = fins::replyDataWord(r.reader, r.offset, k, word);
        const char low_first[2] = {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
        store.store(index, low_first, there ? 2 : 0);
    }
}

// Multi-station flags: one entry per group of eight, keyed by its first flag number.
void storeFlagEntries(const ReplyData& r, int station, int type) {
    if (r.bytes < 8) return;
    const long long limit = STORE_POSITIONS;
    const long long groups = r.bytes / 8;
    // Groups whose first flag lies in 0..limit-1.
    const long long g_begin = r.address >= 0 ? 0 : (-r.address + 7) / 8;
    const long long g_end = std::min(groups, r.address >= limit ? 0 : (limit - r.address + 7) / 8);
    ExtendStore& store = extendStore();
    for (long long g = g_begin; g < g_end; ++g) {
        const long long first = r.address + 8 * g;
        const int index = store.findOrCreate(station, type, static_cast<int>(first));
        quint8 packed = 0;
        const bool there = fins::replyFlagGroup(r.reader, r.offset, g, packed);
        const char byte = static_cast<char>(packed);
        store.store(index, &byte, there ? 1 : 0);
    }
}

void storeSingleStation(const ReplyData& r, const fins::RegType& t) {
    if (t.unit == fins::Unit::Flag) {
        const FlagImage f = flagImage(t.image);
        storeFlagBytes(r, f.bytes, f.capacity);
    } else {
        const WordImage w = wordImage(t.image);
        storeWords(r, w.words, w.capacity);
    }
}

// Bit-type replies carry whole words; they are filed under the word type of the area,
// where host reads and writes of those bits look for them.
void storeMultiStation(const ReplyData& r, const fins::RegType& t, int station) {
    if (t.unit == fins::Unit::Flag)
        storeFlagEntries(r, station, t.word_type);
    else
        storeWordEntries(r, station, t.word_type);
}

long long capacityOrNoBound(long long capacity) {
    return capacity < 0 ? image::NO_BOUND : capacity;
}

} // namespace

int ExtendFindSameVar(int station, int type, int address) {
    return extendStore().findOrCreate(station, type, address);
}

void StoreReply(const Protocol& frame, const QByteArray& reply, bool multi_station) {
    const fins::RegType* t = fins::regType(frame.var.reg_type);
    if (!t) return;
    const ReplyData r = replyData(reply, frame);
    if (multi_station)
        storeMultiStation(r, *t, frame.var.station);
    else
        storeSingleStation(r, *t);
}

void SaveToLocalDataErea(QByteArray* reply) {
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!reply || !d.com_info || d.protocol_list.isEmpty()) return;
    StoreReply(d.protocol_list.constFirst(), *reply, d.com_info->multi_station != 0);
}

void SaveWord_unsigned_short(QByteArray* reply, unsigned short* area) {
    if (!reply || PLC_driver.protocol_list.isEmpty()) return;
    storeWords(replyData(*reply, PLC_driver.protocol_list.first()), area,
               capacityOrNoBound(imageCapacityFrom(area)));
}

void SaveTC_unsigned_char(QByteArray* reply, unsigned char* area) {
    if (!reply || PLC_driver.protocol_list.isEmpty()) return;
    storeFlagBytes(replyData(*reply, PLC_driver.protocol_list.first()), area,
                   capacityOrNoBound(imageCapacityFrom(area)));
}
