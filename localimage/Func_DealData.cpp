// Storing read replies into the local image or the per-station extended variables,
// and the lookup of extended variables.
#include "Func_DealData.h"

#include <QHash>
#include <algorithm>
#include <cstring>

#include "fins_frame.h"
#include "image_access.h"
#include "image_areas.h"

namespace {

// Next key tried when a key is taken by an entry of another (station, type, address).
const quint64 PROBE_STEP = 0x9E3779B97F4A7C15ull;

// Lookup index over extend_list, keyed by extendKey; guarded by data_mutex like the
// list itself. Entries of extend_list never move, so their indexes stay valid.
QHash<quint64, int> extend_index;

bool hasKey(const EXTENDVAR& e, int station, int type, int address) {
    return e.ext_station == station && e.ext_type == type && e.ext_address == address;
}

// Index of the entry with this key, or -1; key is left at the slot where the search
// ended, which is free when -1 is returned.
int findIndexed(quint64& key, int station, int type, int address) {
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    for (;;) {
        QHash<quint64, int>::const_iterator it = extend_index.constFind(key);
        if (it == extend_index.constEnd()) return -1;
        if (hasKey(d.extend_list.at(it.value()), station, type, address)) return it.value();
        key += PROBE_STEP;
    }
}

// Indexes every entry of extend_list; the first of equal keys wins, as in a walk of
// the list. Only needed when the list grew other than through ExtendFindSameVar.
void rebuildExtendIndex() {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    extend_index.clear();
    for (int i = 0; i < d.extend_list.size(); ++i) {
        const EXTENDVAR& e = d.extend_list.at(i);
        quint64 key = extendKey(e.ext_station, e.ext_type, e.ext_address);
        if (findIndexed(key, e.ext_station, e.ext_type, e.ext_address) < 0)
            extend_index.insert(key, i);
    }
}

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

// Word k of the reply as a 16-bit number (wire order: high byte first), or -1 when the
// reply does not hold both bytes.
int replyWord(const ReplyData& r, long long k) {
    const long long pos = r.offset + 2 * k;
    return static_cast<int>(r.reader.u16At(pos));
}

// Flag group g of the reply packed into one byte (flag j in bit j), or -1 when the
// reply does not hold all eight flag bytes.
int replyFlagGroup(const ReplyData& r, long long g) {
    const long long pos = r.offset + 8 * g;
    if (!r.reader.within(pos, 8)) return -1;
    int packed = 0;
    for (int j = 0; j < 8; ++j)
        packed |= (r.reader.u8At(pos + j) & 1) << j;
    return packed;
}

void storeWords(const ReplyData& r, unsigned short* area, long long capacity) {
    if (!area || r.bytes < 2) return;
    const image::Span s = image::positionsWithin(r.address, r.bytes / 2, capacity);
    for (long long k = s.begin; k < s.end; ++k) {
        const int word = replyWord(r, k);
        if (word < 0) break; // the reply ends here; later words keep their values
        area[r.address + k] = static_cast<unsigned short>(word);
    }
}

void storeFlagBytes(const ReplyData& r, unsigned char* area, long long capacity) {
    if (!area || r.bytes < 8) return;
    const image::Span s = image::positionsWithin(r.address / 8, r.bytes / 8, capacity);
    for (long long g = s.begin; g < s.end; ++g) {
        const int packed = replyFlagGroup(r, g);
        if (packed < 0) break;
        area[r.address / 8 + g] = static_cast<unsigned char>(packed);
    }
}

// Multi-station words: one entry per word, value low byte first; a word the reply does
// not cover leaves its entry empty.
void storeWordEntries(const ReplyData& r, int station, int type) {
    if (r.bytes < 2) return;
    const image::Span s =
        image::positionsWithin(r.address, r.bytes / 2, addressablePositions(type));
    for (long long k = s.begin; k < s.end; ++k) {
        const int index = ExtendFindSameVar(station, type, static_cast<int>(r.address + k));
        const int word = replyWord(r, k);
        const char low_first[2] = {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
        storeExtendValue(index, low_first, word < 0 ? 0 : 2);
    }
}

// Multi-station flags: one entry per group of eight, keyed by its first flag number.
void storeFlagEntries(const ReplyData& r, int station, int type) {
    if (r.bytes < 8) return;
    const long long limit = addressablePositions(type);
    const long long groups = r.bytes / 8;
    // Groups whose first flag lies in 0..limit-1.
    const long long g_begin = r.address >= 0 ? 0 : (-r.address + 7) / 8;
    const long long g_end = std::min(groups, r.address >= limit ? 0 : (limit - r.address + 7) / 8);
    for (long long g = g_begin; g < g_end; ++g) {
        const long long first = r.address + 8 * g;
        const int index = ExtendFindSameVar(station, type, static_cast<int>(first));
        const int packed = replyFlagGroup(r, g);
        const char byte = static_cast<char>(packed);
        storeExtendValue(index, &byte, packed < 0 ? 0 : 1);
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

void storeExtendValue(int index, const char* bytes, int n) {
    QByteArray& v = PLC_driver.extend_list[index].ext_value;
    v.resize(n);
    if (n > 0) std::memcpy(v.data(), bytes, static_cast<size_t>(n));
}

int ExtendFindSameVar(int station, int type, int address) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (extend_index.size() != d.extend_list.size()) rebuildExtendIndex();
    quint64 key = extendKey(station, type, address);
    const int found = findIndexed(key, station, type, address);
    if (found >= 0) return found;
    const int index = d.extend_list.size();
    d.extend_list.append(EXTENDVAR{station, type, address, QByteArray(4, '\0')});
    extend_index.insert(key, index);
    return index;
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
