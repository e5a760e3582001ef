// Rebuild of the cyclic read list: the host's variables become block reads, each
// covering neighbouring variables of one station and area within the frame limit.
#include <QHash>
#include <algorithm>
#include <vector>

#include "Func_Initi.h"
#include "fins_codec.h"
#include "piece_split.h"

namespace {

const int kAreaLists = 9;

// Multi-station group key: station + kGroupKeyStride * register type.
const int kGroupKeyStride = 255;

// Single-station area list of a type: timer flags, counter flags, CIO, W, H, A, D,
// timer values, counter values (word types 5..13 in that order).
int areaList(const fins::RegType& t) {
    return t.word_type - 5;
}

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
    const varlists::ReadRun units = varlists::toReadRun(*t, a, n);
    run.start = units.start;
    run.length = units.length;
    run.flags = units.flags;
    run.reg_type = multi_station ? t->word_type : reg_type;
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

bool remoteMode() {
    return PLC_driver.com_info && PLC_driver.com_info->remote_mode != 0;
}

// Appends the pieces of templ (from its address, `length` elements) to dest.
void appendPieces(qint64 length, qint64 maximum, RW_VAR& templ, QList<RW_VAR>& dest) {
    varlists::forEachPiece(templ.address, length, maximum, maximum,
                           varlists::pieceStartLimit(remoteMode()), [&](qint64 at, qint64 len) {
                               templ.address = static_cast<int>(at);
                               templ.length = static_cast<int>(len);
                               dest.append(templ);
                               return true;
                           });
}

// One piece of a description during the rebuild; the entry it would open is the
// description's template with the piece's address and length.
struct Piece {
    int address;
    qint64 length; // elements; a flag run may exceed the int range
    int source;    // index of the template
};

struct Rebuild {
    std::vector<RW_VAR> templates;
    const RW_VAR& entryOf(const Piece& p) const { return templates[p.source]; }
};

const RW_VAR& entryOf(const RW_VAR& p) {
    return p;
}

void addPieces(const PieceRun& run, int max_block, int source, std::vector<Piece>& dest) {
    const qint64 maximum = run.flags ? 8 * static_cast<qint64>(max_block) : max_block;
    varlists::forEachPiece(run.start, run.length, maximum, maximum,
                           varlists::pieceStartLimit(remoteMode()), [&](qint64 at, qint64 len) {
                               dest.push_back({static_cast<int>(at), len, source});
                               return true;
                           });
}

template <class Seq> void sortByAddress(Seq& pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return a.address < b.address; });
}

// Stores the grown length of the open block, the entry at index count - 1.
void setOpenBlockLength(int count, qint64 length) {
    QList<RW_VAR>& list = PLC_driver.read_list;
    if (count >= 1 && count <= list.size()) list[count - 1].length = static_cast<int>(length);
}

// Merges sorted pieces into blocks appended to read_list. Lengths of pieces and the
// maximum are in elements; a block's length is counted in units of `unit` elements
// (1 for words, 8 for flags, whose blocks cover whole groups). Returns the new count.
template <class Seq, class EntryFn>
int mergeBlocks(const Seq& pieces, qint64 maximum, qint64 unit, int count, EntryFn entry) {
    qint64 start = 0, units = 0;
    bool open = false;
    for (const auto& p : pieces) {
        const qint64 end = start + unit * units;
        const qint64 piece_end = static_cast<qint64>(p.address) + p.length;
        if (open && end > p.address && end >= piece_end) continue; // inside the block
        if (open && piece_end - start <= maximum) {
            units = varlists::ceilDiv(piece_end - start, unit);
            setOpenBlockLength(count, units);
            continue;
        }
        RW_VAR block = entry(p);
        block.address = p.address;
        units = varlists::ceilDiv(p.length, unit);
        block.length = static_cast<int>(units);
        count = AppendReadVarLocked(block);
        start = p.address;
        open = true;
    }
    return count;
}

// Sorts one group by address and merges it into read_list; returns the new count.
int mergeGroup(std::vector<Piece>& group, const Rebuild& rb, int max_block, int count) {
    if (group.empty()) return count;
    sortByAddress(group);
    auto entry = [&rb](const Piece& p) -> const RW_VAR& { return rb.entryOf(p); };
    if (fins::isFlagType(entry(group.front()).reg_type))
        return mergeBlocks(group, 8 * static_cast<qint64>(max_block), 8, count, entry);
    return mergeBlocks(group, max_block, 1, count, entry);
}

int rebuildSingleStation(const QList<VAR_DESC>& vars, const COM_INFO& ci) {
    Rebuild rb;
    rb.templates.reserve(vars.size());
    std::vector<Piece> areas[kAreaLists];
    for (const VAR_DESC& d : vars) {
        const int a = StringAddressToInt(d.reg_type, d.addr_text);
        PieceRun run;
        if (a < 0 || !toPieceRun(d.reg_type, a, d.length, false, run)) continue;
        const int list = areaList(*fins::regType(d.reg_type));
        rb.templates.push_back(rebuildTemplate(d, run, ci.default_station, ci));
        addPieces(run, ci.max_block, static_cast<int>(rb.templates.size()) - 1, areas[list]);
    }
    int count = 0;
    for (std::vector<Piece>& area : areas)
        count = mergeGroup(area, rb, ci.max_block, count);
    return count;
}

// Pieces are grouped by station and register type; groups are merged in the order of
// their first piece, and within a group a later piece sorts before an earlier one at
// the same address (each group is read back in reverse order of insertion). The group
// key is station + 255 * type, as the host interface fixes it: station 255 of one type
// shares its group with station 0 of the next type.
int rebuildMultiStation(const QList<VAR_DESC>& vars, const COM_INFO& ci) {
    Rebuild rb;
    rb.templates.reserve(vars.size());
    QHash<int, int> group_of_key;
    std::vector<std::vector<Piece>> groups;
    for (const VAR_DESC& d : vars) {
        const int a = StringAddressToInt(d.reg_type, d.addr_text);
        PieceRun run;
        if (a < 0 || !toPieceRun(d.reg_type, a, d.length, true, run) || run.length <= 0) continue;
        const int key = d.station + kGroupKeyStride * run.reg_type;
        QHash<int, int>::const_iterator it = group_of_key.constFind(key);
        if (it == group_of_key.constEnd()) {
            it = group_of_key.insert(key, static_cast<int>(groups.size()));
            groups.emplace_back();
        }
        rb.templates.push_back(rebuildTemplate(d, run, d.station, ci));
        addPieces(run, ci.max_block, static_cast<int>(rb.templates.size()) - 1, groups[it.value()]);
    }
    int count = 0;
    for (std::vector<Piece>& group : groups) {
        std::reverse(group.begin(), group.end());
        count = mergeGroup(group, rb, ci.max_block, count);
    }
    return count;
}

// Empties read_list unless the rebuild finished: a rebuild that fails (an allocation)
// leaves no half-built list behind its result of 0.
class ReadListRollback {
  public:
    ~ReadListRollback() {
        if (!finished_) PLC_driver.read_list.clear();
    }
    void finished() { finished_ = true; }

  private:
    bool finished_ = false;
};

} // namespace

int RebuildReadListLocked(const QList<VAR_DESC>* vars) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    ReadListRollback rollback;
    d.read_list.clear();
    if (!vars || vars->isEmpty()) return 0;
    d.read_index = 0;
    d.com_info->cycle_done = 0;
    const COM_INFO ci = *d.com_info;
    if (ci.multi_station == 0)
        rebuildSingleStation(*vars, ci);
    else
        rebuildMultiStation(*vars, ci);
    rollback.finished();
    return d.read_list.size();
}

int AppendReadVarLocked(const RW_VAR& var) {
    PLC_driver.read_list.append(var);
    return PLC_driver.read_list.size();
}

void WhetherGroup(int length, int maximum, RW_VAR* templ, QList<RW_VAR>* dest) {
    if (!templ || !dest) return;
    appendPieces(length, maximum, *templ, *dest);
}

void Bubble_Sort(QList<RW_VAR>* list) {
    if (list) sortByAddress(*list);
}

int WordVarReCreat(QList<RW_VAR>* group, int maximum, int count) {
    return group ? mergeBlocks(*group, maximum, 1, count, entryOf) : count;
}

int BitVarReCreat(QList<RW_VAR>* group, int maximum, int count) {
    return group ? mergeBlocks(*group, maximum, 8, count, entryOf) : count;
}
