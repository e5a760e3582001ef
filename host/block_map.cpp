#include "block_map.h"

#include <cstdio>

#include "fins_peer.h"

namespace fhost {

namespace {

// The memory area read's fields after the FINS header: MRC SRC area address bit items.
struct ReadFields {
    quint8 area = 0;
    quint16 start = 0;
    quint16 items = 0;
};

bool decodeAreaRead(const QByteArray& frame, ReadFields* out) {
    fins::Reader in(frame);
    fins::TcpHeader tcp;
    fins::FinsHeader fins_header;
    quint8 mrc = 0, src = 0, bit = 0;
    return fins::decodeTcpHeader(in, tcp) && fins::decodeFinsHeader(in, fins_header) &&
           in.u8(mrc) && in.u8(src) && mrc == fins::MRC_MEMORY_AREA &&
           src == fins::SRC_MEMORY_AREA_READ && in.u8(out->area) && in.u16(out->start) &&
           in.u8(bit) && in.u16(out->items);
}

// A bit type's block counts words, a flag type's groups of 8 flags.
std::string unitName(const fins::RegType& t, int n) {
    const char* unit = t.unit == fins::Unit::Flag ? "flag group" : "word";
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

} // namespace

bool blockCovers(const ReadBlock& block, const Tag& tag, int tag_station, bool multi_station) {
    const fins::RegType& type = tagType(tag);
    const int read_type = multi_station ? type.word_type : type.code;
    if (block.station != tag_station || block.reg_type != read_type) return false;
    const bool bits = type.unit == fins::Unit::Bit;
    // Bits are read in whole words; a flag block's record counts groups of 8 flags.
    const long long first = bits ? tag.start / 16 : tag.start;
    const long long last = bits ? (tag.start + tag.length - 1) / 16 : tag.start + tag.length - 1;
    const long long span = type.unit == fins::Unit::Flag ? block.length * 8LL : block.length;
    return block.address <= last && block.address + span > first;
}

void BlockMap::observe(const QByteArray& frame, const RW_VAR& record, bool good, double rtt_ms,
                       const std::function<std::vector<std::string>(const ReadBlock&)>& covered) {
    ReadBlock* block = nullptr;
    for (ReadBlock& b : blocks_)
        if (b.station == record.station && b.reg_type == record.reg_type &&
            b.address == record.address)
            block = &b;
    if (!block) {
        ReadBlock b;
        b.station = record.station;
        b.reg_type = record.reg_type;
        b.address = record.address;
        blocks_.push_back(b);
        block = &blocks_.back();
    }
    block->length = record.length;
    ReadFields f;
    if (decodeAreaRead(frame, &f)) {
        block->area_code = f.area;
        block->wire_start = f.start;
        block->items = f.items;
    }
    if (block->tags.empty()) block->tags = covered(*block);
    block->good = good;
    if (good) {
        block->rtt_ms = rtt_ms;
        ++block->reads;
    }
}

std::vector<std::string> blockMapLines(const std::vector<ReadBlock>& blocks) {
    std::vector<std::string> lines;
    for (const ReadBlock& b : blocks) {
        const fins::RegType* t = fins::regType(b.reg_type);
        char head[160];
        std::snprintf(head, sizeof head, "station %d  %-7s %5d  %-12s", b.station,
                      fins::mnemonicOf(b.reg_type), b.address,
                      t ? unitName(*t, b.length).c_str() : std::to_string(b.length).c_str());
        std::string line = head;
        if (b.area_code >= 0) {
            char wire[80];
            std::snprintf(wire, sizeof wire, "  area 0x%02X start %d items %d", b.area_code,
                          b.wire_start, b.items);
            line += wire;
        }
        char rtt[40];
        std::snprintf(rtt, sizeof rtt, b.rtt_ms < 0 ? "  no good read" : "  rtt %.2f ms", b.rtt_ms);
        line += rtt;
        line += "  tags:";
        for (const std::string& name : b.tags)
            line += " " + name;
        lines.push_back(line);
    }
    return lines;
}

} // namespace fhost
