#include "plcsim/connection_table.h"

#include <algorithm>

#include "plcsim/fins_handler.h"

namespace plcsim {

namespace {

constexpr int LOWEST_NODE = 1;

std::string addressOf(const std::string& peer) {
    return peer.substr(0, peer.rfind(':'));
}

uint32_t msLeft(TimePoint until, TimePoint now) {
    if (until <= now) return 0;
    return static_cast<uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
}

} // namespace

ConnectionTable::ConnectionTable(PortRules rules, uint8_t serverNode)
    : rules_(rules), serverNode_(serverNode) {}

uint64_t ConnectionTable::open(const std::string& peer) {
    Entry e;
    e.id = nextId_++;
    e.peer = peer;
    e.address = addressOf(peer);
    entries_.push_back(e);
    const size_t live =
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& x) { return x.live; });
    peakOpen_ = std::max(peakOpen_, live);
    return e.id;
}

ConnectionTable::Entry* ConnectionTable::find(uint64_t id) {
    for (Entry& e : entries_)
        if (e.id == id && e.live) return &e;
    return nullptr;
}

// Held by an open connection or by a slot not yet released: the PLC still counts it.
bool ConnectionTable::nodeHeld(int node, const Entry* except) const {
    for (const Entry& e : entries_)
        if (&e != except && e.node == node) return true;
    return false;
}

int ConnectionTable::freeNode(const Entry* asking) const {
    for (int node = FIRST_AUTO_NODE; node >= LOWEST_NODE; --node)
        if (node != serverNode_ && !nodeHeld(node, asking)) return node;
    return -1;
}

void ConnectionTable::expire(TimePoint now) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [now](const Entry& e) { return !e.live && e.releaseAt <= now; }),
                   entries_.end());
}

NodeGrant ConnectionTable::exchange(uint64_t id, uint32_t proposed, TimePoint now) {
    expire(now);
    Entry* e = find(id);
    if (!e) return {TCP_UNSUPPORTED_COMMAND, 0, true};
    const size_t taken =
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& x) { return x.holdsSlot; });
    if (!e->holdsSlot && rules_.slotLimit != 0 && taken >= rules_.slotLimit) {
        ++refusedAllInUse_;
        return {TCP_ALL_IN_USE, 0, true};
    }
    if (proposed != 0 && rules_.uniqueNodes) {
        for (const Entry& other : entries_)
            if (&other != e && other.live && other.address == e->address &&
                other.node == static_cast<int>(proposed)) {
                ++refusedNodeInUse_;
                return {TCP_NODE_IN_USE, 0, false};
            }
    }
    const int node = proposed != 0 ? static_cast<int>(proposed) : freeNode(e);
    if (node < 0) return {TCP_NO_FREE_NODE, 0, false};
    e->node = node;
    e->holdsSlot = true;
    return {TCP_OK, static_cast<uint8_t>(node), false};
}

void ConnectionTable::close(uint64_t id, TimePoint now) {
    Entry* e = find(id);
    if (!e) return;
    e->live = false;
    e->releaseAt = now + std::chrono::milliseconds(e->holdsSlot ? rules_.releaseMs : 0);
    expire(now);
}

PortSnapshot ConnectionTable::snapshot(TimePoint now) {
    expire(now);
    PortSnapshot s;
    for (const Entry& e : entries_) {
        if (e.live)
            s.open.push_back({e.peer, e.node});
        else
            s.releasing.push_back({e.peer, e.node, msLeft(e.releaseAt, now)});
        s.slotsInUse += e.holdsSlot ? 1 : 0;
    }
    s.peakOpen = peakOpen_;
    s.refusedAllInUse = refusedAllInUse_;
    s.refusedNodeInUse = refusedNodeInUse_;
    return s;
}

} // namespace plcsim
