#include "action_ledger.h"

#include "omron_fins_results.h"
#include "fins_codec.h"
#include "fins_words.h"

#include <algorithm>

namespace fhost {

namespace {

// The driver's write queue stops growing here; a request past it is dropped.
const size_t kQueueLimit = 1024;

std::string writeText(const WriteAction& w) {
    return "write " + w.name + "=" + w.value_text;
}

} // namespace

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pending:
        return "pending";
    case Outcome::Done:
        return "done";
    case Outcome::Refused:
        return "refused";
    case Outcome::GaveUp:
        return "gave up";
    case Outcome::Superseded:
        return "superseded";
    }
    return "?";
}

std::vector<WritePiece> writePieces(int station, int reg_type, int start, int count,
                                    int max_block) {
    std::vector<WritePiece> out;
    const fins::RegType* type = fins::regType(reg_type);
    const int step = type && type->unit == fins::Unit::Bit ? 1 : std::max(1, max_block);
    for (int first = 0; first < count; first += step)
        out.push_back(WritePiece{station, reg_type, start + first, std::min(step, count - first)});
    return out;
}

// Records are kept in req_id order (number = req_id + 1), with gaps where some are forgotten.
WriteAction* ActionLedger::findWrite(int req_id) {
    auto it = std::lower_bound(writes_.begin(), writes_.end(), req_id + 1,
                               [](const WriteAction& w, int number) { return w.number < number; });
    return it != writes_.end() && it->number == req_id + 1 ? &*it : nullptr;
}

namespace {

bool failed(Outcome o) {
    return o == Outcome::Refused || o == Outcome::GaveUp;
}

// Erases the oldest settled record while more than `keep` are held; false when none is.
template <typename Records, typename Settled>
bool forgetOldest(Records& records, size_t keep, Settled settled, long* failures) {
    if (records.size() <= keep) return false;
    auto it = std::find_if(records.begin(), records.end(), settled);
    if (it == records.end()) return false;
    *failures += failed(it->outcome);
    records.erase(it);
    return true;
}

} // namespace

void ActionLedger::trimHistory() {
    auto write_settled = [](const WriteAction& w) { return w.done(); };
    auto read_settled = [](const OnceAction& o) { return o.outcome != Outcome::Pending; };
    while (forgetOldest(writes_, kHistory, write_settled, &failed_forgotten_)) {
    }
    while (forgetOldest(once_, kHistory, read_settled, &failed_forgotten_)) {
    }
}

void ActionLedger::addOnceRead(const OnceAction& read) {
    once_.push_back(read);
    once_.back().req_id = next_once_id_++;
    trimHistory();
}

std::vector<std::string> ActionLedger::addWrite(WriteAction write,
                                                const std::vector<WritePiece>& pieces) {
    trimHistory();
    const int req_id = next_write_id_++;
    write.number = req_id + 1;
    writes_.push_back(write);
    std::vector<std::string> notices;
    std::vector<int> touched;
    for (const WritePiece& p : pieces) {
        size_t match = 1;
        while (queue_.size() >= 2 && match < queue_.size() && !(queue_[match].piece == p))
            ++match;
        if (queue_.size() >= 2 && match < queue_.size()) {
            touched.push_back(queue_[match].req_id);
            supersede(queue_[match], req_id);
        } else if (queue_.size() < kQueueLimit) {
            queue_.push_back(QueuedPiece{req_id, p});
        } else {
            continue; // dropped by the driver: not one of this write's pieces
        }
        ++writes_.back().pieces;
    }
    WriteAction& w = writes_.back();
    if (w.local_only) {
        w.outcome = Outcome::Done;
        w.detail = "written to the driver's store only (--run-mode)";
    } else if (w.pieces == 0) {
        w.outcome = Outcome::Refused;
        w.detail = "the driver's write queue is full";
    }
    for (int id : touched) {
        const std::string text = settle(*findWrite(id));
        if (!text.empty()) notices.push_back(text);
    }
    return notices;
}

void ActionLedger::supersede(QueuedPiece& entry, int by) {
    WriteAction& old = *findWrite(entry.req_id); // queued, so still pending and kept
    --old.pieces;
    ++old.superseded;
    old.detail = "by write " + std::to_string(by + 1);
    entry.req_id = by;
}

void ActionLedger::addRefusedWrite(WriteAction write, const std::string& why) {
    write.number = ++next_write_id_;
    write.outcome = Outcome::Refused;
    write.detail = why;
    writes_.push_back(write);
    trimHistory();
}

std::string ActionLedger::writeAnswered(int req_id, const WritePiece& piece, int result,
                                        uint16_t end_code, const std::string& why) {
    if (!findWrite(req_id)) return std::string();
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
        if (it->req_id == req_id && it->piece == piece) {
            queue_.erase(it);
            break;
        }
    WriteAction& w = *findWrite(req_id);
    w.last_result = result;
    if (!fins::isGood(result)) {
        ++w.failed;
        w.detail = why;
    } else if (maskedEndCode(end_code) != 0) {
        ++w.refused;
        w.detail = endCodeText(maskedEndCode(end_code));
    } else {
        ++w.acked;
        if (w.detail.empty() && !w.superseded) w.detail = plcStateText(end_code);
    }
    return settle(w);
}

std::string ActionLedger::settle(WriteAction& w) {
    if (w.done() || (!w.failed && w.acked + w.refused < w.pieces)) return std::string();
    if (w.failed) {
        w.outcome = Outcome::GaveUp;
        return std::string(); // the give-up notice names it
    }
    if (w.refused) {
        w.outcome = Outcome::Refused;
        return writeText(w) + ": refused: " + w.detail;
    }
    if (w.acked) {
        w.outcome = Outcome::Done;
        if (w.superseded) w.detail = "partly superseded " + w.detail;
        const bool note = !w.superseded && !w.detail.empty();
        return writeText(w) + ": done" + (note ? " (" + w.detail + ")" : "");
    }
    w.outcome = Outcome::Superseded;
    return writeText(w) + ": superseded " + w.detail;
}

void ActionLedger::writesPurged(int station, const std::string& why) {
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (multi_station_ && it->piece.station != station) {
            ++it;
            continue;
        }
        WriteAction& w = *findWrite(it->req_id);
        ++w.failed;
        if (!w.done()) w.detail = why;
        settle(w);
        it = queue_.erase(it);
    }
}

OnceAction* ActionLedger::onceRead(int req_id) {
    for (OnceAction& o : once_)
        if (o.req_id == req_id) return &o;
    return nullptr;
}

void ActionLedger::onceGivenUp(int station, const std::string& why) {
    for (OnceAction& o : once_)
        if (o.outcome == Outcome::Pending && o.detail.empty() &&
            (!multi_station_ || o.station == station))
            o.detail = why;
}

void ActionLedger::abandonPending(const std::string& why) {
    for (WriteAction& w : writes_)
        if (!w.done()) {
            w.outcome = Outcome::GaveUp;
            w.detail = why;
        }
    for (OnceAction& o : once_)
        if (o.outcome == Outcome::Pending) {
            o.outcome = Outcome::GaveUp;
            o.detail = why;
        }
}

bool ActionLedger::writesPending() const {
    for (const WriteAction& w : writes_)
        if (!w.done()) return true;
    return false;
}

bool ActionLedger::anyPending() const {
    if (writesPending()) return true;
    for (const OnceAction& o : once_)
        if (o.outcome == Outcome::Pending) return true;
    return false;
}

bool ActionLedger::anyFailed() const {
    if (failed_forgotten_ > 0) return true;
    for (const WriteAction& w : writes_)
        if (w.outcome == Outcome::Refused || w.outcome == Outcome::GaveUp) return true;
    for (const OnceAction& o : once_)
        if (o.outcome == Outcome::Refused || o.outcome == Outcome::GaveUp) return true;
    return false;
}

} // namespace fhost
