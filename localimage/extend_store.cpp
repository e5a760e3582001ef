#include "extend_store.h"

#include <cstring>

namespace {

// Next key tried when a key is taken by another entry.
const quint64 PROBE_STEP = 0x9E3779B97F4A7C15ull;

bool hasKey(const EXTENDVAR& e, int station, int type, int address) {
    return e.ext_station == station && e.ext_type == type && e.ext_address == address;
}

} // namespace

// Position of the first entry with this key, or -1; key is left at the slot where the
// search ended, which is free when -1 is returned.
int ExtendStore::lookup(quint64& key, int station, int type, int address) const {
    for (;;) {
        QHash<quint64, int>::const_iterator it = index_.constFind(key);
        if (it == index_.constEnd()) return -1;
        if (hasKey(list_.at(it.value()), station, type, address)) return it.value();
        key += PROBE_STEP;
    }
}

// Files the entry at position in the first free slot of its probe sequence: after the
// entries of equal key already there, so lookups keep finding the first of them.
void ExtendStore::index(int position) {
    quint64 key = extendKey(list_.at(position).ext_station, list_.at(position).ext_type,
                            list_.at(position).ext_address);
    while (index_.contains(key))
        key += PROBE_STEP;
    index_.insert(key, position);
}

// The list changed without the store (a host or a test appended to it): index it anew.
void ExtendStore::rebuildIfStale() {
    if (indexed_ == list_.size()) return;
    index_.clear();
    for (int i = 0; i < list_.size(); ++i)
        index(i);
    indexed_ = list_.size();
    ++rebuilds_;
}

int ExtendStore::find(int station, int type, int address) {
    rebuildIfStale();
    quint64 key = extendKey(station, type, address);
    return lookup(key, station, type, address);
}

int ExtendStore::findOrCreate(int station, int type, int address) {
    rebuildIfStale();
    quint64 key = extendKey(station, type, address);
    const int found = lookup(key, station, type, address);
    if (found >= 0) return found;
    const int position = list_.size();
    list_.append(EXTENDVAR{station, type, address, QByteArray(4, '\0')});
    index_.insert(key, position);
    indexed_ = list_.size();
    return position;
}

void ExtendStore::store(int index, const char* bytes, int n) {
    QByteArray& v = list_[index].ext_value;
    v.resize(n);
    if (n > 0) std::memcpy(v.data(), bytes, static_cast<size_t>(n));
}

void ExtendStore::reset() {
    list_.clear();
    index_.clear();
    indexed_ = 0;
    rebuilds_ = 0;
}

ExtendStore& extendStore() {
    static ExtendStore store(PLC_driver.extend_list);
    return store;
}
