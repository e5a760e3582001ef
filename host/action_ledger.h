// The record of the screen's actions (writes and one-shot reads from the command line
// and the panel) and how each settled. Writes follow the driver's write queue, which
// the ledger mirrors: a newer write to the same place overwrites a queued older one
// (the head excepted, which may be in flight), so the older settles as superseded; a
// write of several pieces settles when its last piece is answered; a give-up purges
// the queued writes of its station (all of them in single-station mode).
#ifndef FINS_HOST_ACTION_LEDGER_H
#define FINS_HOST_ACTION_LEDGER_H

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace fhost {

enum class Outcome { Pending, Done, Refused, GaveUp, Superseded };
const char* outcomeName(Outcome outcome);

// Where one queued write entry goes: the fields the driver compares entries by.
struct WritePiece {
    int station = 0;
    int reg_type = 0;
    int address = 0; // elements of the type's unit (bits: word * 16 + bit)
    int length = 0;
    bool operator==(const WritePiece& o) const {
        return station == o.station && reg_type == o.reg_type && address == o.address &&
               length == o.length;
    }
};

// The pieces the driver makes of a write of `count` elements from `start`: one per
// bit for bit types, else runs of at most max_block words.
std::vector<WritePiece> writePieces(int station, int reg_type, int start, int count, int max_block);

struct WriteAction {
    quint64 id = 0; // the bridge request id; 0 for --write
    int number = 0; // 1, 2, ... in the order the writes were made
    int station = 0;
    std::string name;
    std::string value_text;
    int pieces = 0; // entries the driver queued for it
    int acked = 0;
    int failed = 0;
    int refused = 0;    // pieces answered with a non-zero FINS end code
    int superseded = 0; // pieces a later write to the same place overwrote
    int last_result = 0;
    bool local_only = false; // run_mode other than 2: applied to the driver's store only
    Outcome outcome = Outcome::Pending;
    std::string detail;
    bool done() const { return outcome != Outcome::Pending; }
};

struct OnceAction {
    quint64 id = 0;
    int req_id = 0; // the driver's, given when the ledger takes it
    std::string name;
    int station = 0;
    int status = 0; // 0 waiting, 1 done, 2 failed
    std::vector<int> values;
    Outcome outcome = Outcome::Pending;
    std::string detail;
};

class ActionLedger {
  public:
    explicit ActionLedger(bool multi_station) : multi_station_(multi_station) {}

    // The req_id the next write is queued with (1 + the last one's).
    int nextWriteId() const { return next_write_id_; }
    // A write the driver accepted as `pieces`, queued in that order (none: local only).
    // Returns the notices of writes it superseded and settled.
    std::vector<std::string> addWrite(WriteAction write, const std::vector<WritePiece>& pieces);
    void addRefusedWrite(WriteAction write, const std::string& why);
    // The answer to one write piece: a good result with the reply's end code (0 when
    // none; its PLC-state bits make a note, not a refusal), or a give-up (its reason in
    // `why`). A notice when the write settled.
    std::string writeAnswered(int req_id, const WritePiece& piece, int result, uint16_t end_code,
                              const std::string& why);
    // The driver gave up on an exchange of `station` and purged the queued writes.
    void writesPurged(int station, const std::string& why);

    int nextOnceId() const { return next_once_id_; }
    void addOnceRead(const OnceAction& read);
    OnceAction* onceRead(int req_id);
    // A one-shot read given up on `station`: what the driver will notify as failed.
    void onceGivenUp(int station, const std::string& why);

    // Still pending at the end of the run: given up with `why`.
    void abandonPending(const std::string& why);
    bool writesPending() const;
    bool anyPending() const;
    bool anyFailed() const;
    // The latest kHistory writes and one-shot reads, and any older still pending, oldest
    // first.
    const std::deque<WriteAction>& writes() const { return writes_; }
    const std::deque<OnceAction>& onceReads() const { return once_; }
    static const size_t kHistory = 100;

  private:
    struct QueuedPiece {
        int req_id;
        WritePiece piece;
    };
    // Settles a write whose pieces are all answered, overwritten or purged.
    std::string settle(WriteAction& w);
    void supersede(QueuedPiece& entry, int by);
    WriteAction* findWrite(int req_id);
    // Forgets the oldest settled records beyond kHistory, so a long run keeps its size.
    void trimHistory();

    bool multi_station_;
    std::deque<WriteAction> writes_;
    std::deque<OnceAction> once_;
    int next_write_id_ = 0, next_once_id_ = 0; // the req_id of the next record
    long failed_forgotten_ = 0;                // refused or given up, no longer kept
    std::deque<QueuedPiece> queue_;            // the driver's write queue, head first
};

} // namespace fhost

#endif
