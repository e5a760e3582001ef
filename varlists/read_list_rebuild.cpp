// Rebuild of the cyclic read list: the host's variables become block reads, each
// covering neighbouring variables of one station and area within the frame limit.
#include <QHash>
#include <algorithm>
#include <vector>

#include "Func_Initi.h"
#include "driver_lock.h"
#include "fins_frame.h"
#include "piece_split.h"

namespace {

const int kAreaLists = 9;

// A description in piece units: words, or single flags for the flag types.
struct PieceRun {
    qint64 start;
    qint64 length;
    int reg_type; // register type stored in the entries
    bool flags;
};

// Converts a description at numeric address a; false when its type names no area.
bool toPieceRun(int reg_type, int a, int n, bool multi_station, PieceRun& run) {
    const fins::RegType* t = fins::regType(reg_type);
    if (!t) return false;
    run.reg_type = multi_station ? t->word_type : reg_type;
    run.flags = t->unit == fins::Unit::Flag;
    if (t->unit == fins::Unit::Bit) {
        run.start = a >> 4;
        run.length = varlists::ceilDiv(static_cast<qint64>(a & 15) + n, 16);
    } else if (run.flags) {
        run.start = a & ~7;
        run.length = (a - run.start) + static_cast<qint64>(n);
    } else {
        run.start = a;
        run.length = n;
    }
    return true;
}

// The entry every piece of one description starts from.
RW_VAR rebuildTemplate(const VAR_DESC& d, const PieceRun& run, int station, const COM_INFO& ci) {
    RW_VAR e{};
    e.req_kind = 0;
    e.req_id = -1;
    e.access = 0;
    e.link_mode = ci.remote_mode;
    e.link_id = ci.local_link;
    e.result = 0;
    e.name = d.name;
    e.addr_text = d.addr_text;
    e.reg_type = run.reg_type;
    e.address = static_cast<int>(run.start);
    e.station = station;
    e.length = 0;
    e.aux1 = 0;
    e.aux2 = 0;
    return e;
}

// Appends the pieces of templ (from its address, `length` elements) to dest.
void appendPieces(qint64 length, qint64 maximum, RW_VAR& templ, QList<RW_VAR>& dest) {
    varlists::forEachPiece(templ.address, length, maximum, maximum, varlists::kAddressSpace,
                           [&](qint64 at, qint64 len) {
                               templ.address = static_cast<int>(at);
                               templ.length = static_cast<int>(len);
                               dest.append(templ);
                           });
}

qint64 pieceMaximum(const PieceRun& run, int max_block) {
    return run.flags ? 8 * static_cast<qint64>(max_block) : max_block;
}

int flagMaximum(int max_block) {
    return static_cast<int>(qBound<qint64>(INT_MIN, 8 * static_cast<qint64>(max_block), INT_MAX));
}

// Sorts one group by address and merges it into read_list; returns the new count.
int mergeGroup(QList<RW_VAR>& group, int max_block, int count) {
    if (group.isEmpty()) return count;
    Bubble_Sort(&group);
    if (fins::isFlagType(group.first().reg_type))
        return BitVarReCreat(&group, flagMaximum(max_block), count);
    return WordVarReCreat(&group, max_block, count);
}

// Stores the grown length of the open block, the entry at index count - 1.
void setOpenBlockLength(int count, qint64 length) {
    QList<RW_VAR>& list = PLC_driver.read_list;
    if (count >= 1 && count <= list.size()) list[count - 1].length = static_cast<int>(length);
}

int rebuildSingleStation(const QList<VAR_DESC>& vars, const COM_INFO& ci) {
    QList<RW_VAR> areas[kAreaLists];
    for (const VAR_DESC& d : vars) {
        const int a = StringAddressToInt(d.reg_type, d.addr_text);
        PieceRun run;
        if (a < 0 || !toPieceRun(d.reg_type, a, d.length, false, run)) continue;
        RW_VAR templ = rebuildTemplate(d, run, ci.default_station, ci);
        const int list = fins::regType(d.reg_type)->rebuild_list - 1;
        appendPieces(run.length, pieceMaximum(run, ci.max_block), templ, areas[list]);
    }
    int count = 0;
    for (QList<RW_VAR>& area : areas)
        count = mergeGroup(area, ci.max_block, count);
    return count;
}

// Pieces are grouped by station + 255 * register type; groups are merged in the order
// of their first piece, and within a group a later piece sorts before an earlier one
// at the same address.
int rebuildMultiStation(const QList<VAR_DESC>& vars, const COM_INFO& ci) {
    QHash<int, int> group_of_key;
    std::vector<QList<RW_VAR>> groups;
    QList<RW_VAR> pieces;
    for (const VAR_DESC& d : vars) {
        const int a = StringAddressToInt(d.reg_type, d.addr_text);
        PieceRun run;
        if (a < 0 || !toPieceRun(d.reg_type, a, d.length, true, run)) continue;
        RW_VAR templ = rebuildTemplate(d, run, d.station, ci);
        pieces.clear();
        appendPieces(run.length, pieceMaximum(run, ci.max_block), templ, pieces);
        if (pieces.isEmpty()) continue;
        const int key = d.station + 255 * run.reg_type;
        QHash<int, int>::const_iterator it = group_of_key.constFind(key);
        if (it == group_of_key.constEnd()) {
            it = group_of_key.insert(key, static_cast<int>(groups.size()));
            groups.emplace_back();
        }
        QList<RW_VAR>& group = groups[it.value()];
        for (const RW_VAR& p : pieces)
            group.prepend(p);
    }
    int count = 0;
    for (QList<RW_VAR>& group : groups)
        count = mergeGroup(group, ci.max_block, count);
    return count;
}

} // namespace

int AppendReadVarLocked(const RW_VAR& var) {
    PLC_driver.read_list.append(var);
    return PLC_driver.read_list.size();
}

int AddListReadVar(RW_VAR* var) {
    if (!PLC_driver.com_info || !var) return 0;
    DriverLock lock(PLC_driver.list_mutex);
    return AppendReadVarLocked(*var);
}

void WhetherGroup(int length, int maximum, RW_VAR* templ, QList<RW_VAR>* dest) {
    if (!templ || !dest) return;
    appendPieces(length, maximum, *templ, *dest);
}

void Bubble_Sort(QList<RW_VAR>* list) {
    if (!list) return;
    std::stable_sort(list->begin(), list->end(),
                     [](const RW_VAR& a, const RW_VAR& b) { return a.address < b.address; });
}

int WordVarReCreat(QList<RW_VAR>* group, int maximum, int count) {
    if (!group) return count;
    qint64 start = 0, length = 0;
    bool open = false;
    for (const RW_VAR& p : *group) {
        const qint64 end = start + length;
        const qint64 piece_end = static_cast<qint64>(p.address) + p.length;
        if (open && end > p.address && end >= piece_end) continue; // inside the block
        if (open && piece_end - start <= maximum) {
            length = piece_end - start;
            setOpenBlockLength(count, length);
            continue;
        }
        count = AppendReadVarLocked(p);
        start = p.address;
        length = p.length;
        open = true;
    }
    return count;
}

int BitVarReCreat(QList<RW_VAR>* group, int maximum, int count) {
    if (!group) return count;
    qint64 start = 0, bytes = 0;
    bool open = false;
    for (const RW_VAR& p : *group) {
        const qint64 end = start + 8 * bytes;
        const qint64 piece_end = static_cast<qint64>(p.address) + p.length;
        if (open && end > p.address && end >= piece_end) continue; // inside the block
        if (open && piece_end - start <= maximum) {
            bytes = varlists::ceilDiv(piece_end - start, 8);
            setOpenBlockLength(count, bytes);
            continue;
        }
        RW_VAR block = p;
        bytes = varlists::ceilDiv(p.length, 8);
        block.length = static_cast<int>(bytes);
        count = AppendReadVarLocked(block);
        start = p.address;
        open = true;
    }
    return count;
}

int ReCreatReadVarList(QList<VAR_DESC>* vars) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!d.com_info) return 0;
    DriverLock lock(d.list_mutex);
    d.read_list.clear();
    if (!vars || vars->isEmpty()) return 0;
    d.read_index = 0;
    d.com_info->cycle_done = 0;
    const COM_INFO ci = *d.com_info;
    if (ci.multi_station == 0)
        rebuildSingleStation(*vars, ci);
    else
        rebuildMultiStation(*vars, ci);
    return d.read_list.size();
}
