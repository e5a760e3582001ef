// The cyclic read-list rebuild with any variable list and any max_block (0, 1, negative,
// huge). The result is the size of read_list; every block is a well-formed read entry
// within max_block; blocks of a group rise in address; and every word or flag group of
// an accepted variable that lies inside its PLC area is read by some block.
#include <algorithm>
#include <map>
#include <utility>

#include "Func_Initi.h"
#include "fins_codec.h"
#include "fuzz_session.h"
#include "image_areas.h"

namespace {

using fuzz::Input;

QString addressText(Input& in, int reg_type) {
    const int pick = in.pick(3);
    if (pick == 0) return in.text();
    if (pick == 2) return QString::number(in.u16());
    if (!fins::isBitType(reg_type)) return QString::number(in.number());
    return QString::number(in.number()) + QLatin1Char('.') + QString::number(in.pick(20));
}

VAR_DESC description(Input& in) {
    VAR_DESC d = VAR_DESC();
    const uint8_t t = in.u8();
    d.reg_type = t < 240 ? t % 15 : t; // mostly 0..14, sometimes far beyond
    d.station = in.u8() < 200 ? in.pick(3) : in.u8();
    d.addr_text = addressText(in, d.reg_type);
    d.name = QString::number(in.u8());
    const int length = in.number();
    d.length = length > 40000 ? 40000 + (length & 0xFF) : length; // keeps runs fast
    return d;
}

// A group of blocks: the station and the area list (single-station: the area only).
typedef std::pair<int, int> GroupKey;

GroupKey groupOf(int station, int reg_type) {
    const fins::RegType* t = fins::regType(reg_type);
    return {station, t ? t->word_type : reg_type};
}

// Elements of a variable as the read list counts them (words or flags): [first, end).
struct Span {
    long long first, end;
};

bool coveredBy(Span need, std::vector<Span> have) {
    std::sort(have.begin(), have.end(), [](Span a, Span b) { return a.first < b.first; });
    long long reach = need.first;
    for (auto s = have.begin(); s != have.end() && s->first <= reach; ++s)
        reach = std::max(reach, s->end);
    return reach >= need.end;
}

// Capacity of the area of a register type, in the units of its read entries.
long long areaElements(const fins::RegType& t) {
    if (t.unit == fins::Unit::Flag) return 8LL * flagImage(t.image).capacity;
    return wordImage(t.image).capacity;
}

// What the rebuild must read for one description, or false when it is left out.
bool needed(const VAR_DESC& d, Span* span) {
    const fins::RegType* t = fins::regType(d.reg_type);
    const int a = StringAddressToInt(d.reg_type, d.addr_text); // checked by fuzz_address
    if (!t || a < 0) return false;
    long long first = a, length = d.length;
    if (t->unit == fins::Unit::Bit) {
        first = a >> 4;
        length = ((a & 15) + static_cast<long long>(d.length) + 15) / 16;
    } else if (t->unit == fins::Unit::Flag) {
        first = a & ~7;
        length = (a - first) + static_cast<long long>(d.length);
    }
    if (length <= 0) return false;
    *span = {first, first + length};
    return true;
}

void checkRebuild(const QList<VAR_DESC>& vars, const COM_INFO& com, int result) {
    const QList<RW_VAR>& list = PLC_driver.read_list;
    FUZZ_CHECK(result == list.size());
    if (vars.isEmpty()) return;
    FUZZ_CHECK(PLC_driver.read_index == 0 && com.cycle_done == 0);

    // Station 255 is no valid station: the driver's group key (station + 255 x type) lets
    // its variables share a group with station 0's of the next type, whose blocks then
    // follow neither max_block, nor one order, nor the coverage judged below.
    const bool shared_groups =
        com.multi_station &&
        std::any_of(vars.begin(), vars.end(), [](const VAR_DESC& d) { return d.station == 255; });
    std::map<GroupKey, std::vector<Span>> blocks;
    std::map<GroupKey, long long> last_start;
    for (const RW_VAR& e : list) {
        FUZZ_CHECK(e.req_kind == 0 && e.req_id == -1 && e.access == 0);
        FUZZ_CHECK(e.result == 0 && e.aux1 == 0 && e.aux2 == 0 && e.value.isEmpty());
        FUZZ_CHECK(e.link_id == com.local_link && e.link_mode == com.remote_mode);
        const fins::RegType* t = fins::regType(e.reg_type);
        FUZZ_CHECK(t != nullptr && e.length >= 1);
        if (com.max_block > 0 && !shared_groups) FUZZ_CHECK(e.length <= com.max_block);
        // Multi-station reads bit types through their word type; one station reads all.
        FUZZ_CHECK(com.multi_station ? t->unit != fins::Unit::Bit
                                     : e.station == com.default_station);
        const bool flags = t->unit == fins::Unit::Flag;
        if (flags) FUZZ_CHECK(e.address % 8 == 0);
        const GroupKey key = groupOf(e.station, e.reg_type);
        // Within a group blocks are opened in ascending address order.
        if (last_start.count(key) && !shared_groups) FUZZ_CHECK(e.address >= last_start[key]);
        last_start[key] = e.address;
        const long long end = e.address + (flags ? 8LL : 1LL) * e.length;
        blocks[key].push_back({e.address, end});
    }

    if (shared_groups) return;
    for (const VAR_DESC& d : vars) {
        Span need;
        if (!needed(d, &need)) continue;
        const fins::RegType& t = *fins::regType(d.reg_type);
        if (need.end > areaElements(t)) continue; // past the area: may be cut
        // A negative max_block makes a piece only when it exceeds the length in size.
        const long long most = (t.unit == fins::Unit::Flag ? 8LL : 1LL) * com.max_block;
        if (most < 0 && need.end - need.first >= -most) continue;
        const int station = com.multi_station ? d.station : com.default_station;
        FUZZ_CHECK(coveredBy(need, blocks[groupOf(station, d.reg_type)]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    SessionSettings settings;
    settings.multi_station = in.flag();
    settings.max_block = in.number();
    settings.default_station = in.pick(3);
    settings.local_link = in.pick(3);
    settings.remote_mode = in.pick(2);
    fuzz::Session session(settings);
    const COM_INFO& com = session.com;

    for (int round = 0; round < 3 && !in.done(); ++round) {
        QList<VAR_DESC> vars;
        const int n = in.pick(48);
        for (int i = 0; i < n; ++i)
            vars.append(description(in));
        if (in.flag()) {
            RW_VAR extra = RW_VAR();
            extra.reg_type = 11;
            extra.length = 1;
            AddListReadVar(&extra); // gone after the rebuild
        }
        const int result = ReCreatReadVarList(&vars);
        checkRebuild(vars, com, result);
    }
    return 0;
}
