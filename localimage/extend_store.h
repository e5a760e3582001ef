// The per-station store of multi-station mode: the driver object's extend_list and the
// one index over it, owned together. Every entry is indexed, duplicates too, so a list
// that holds two entries of one key is indexed once, not again on every lookup.
// Guarded by data_mutex like the list itself.
#ifndef EXTEND_STORE_H
#define EXTEND_STORE_H

#include <QHash>

#include "omron_fins_tcpip.h"

class ExtendStore {
  public:
    explicit ExtendStore(QList<EXTENDVAR>& list) : list_(list) {}

    // Index of the first entry of (station, type, address); a new entry holding a zero
    // word pair is appended when there is none.
    int findOrCreate(int station, int type, int address);
    // Index of the first entry of (station, type, address), or -1.
    int find(int station, int type, int address);
    const QByteArray& valueAt(int index) const { return list_.at(index).ext_value; }
    // Replaces the value of the entry at index by n bytes, reusing the entry's storage.
    void store(int index, const char* bytes, int n);
    // Byte i (0 or 1) of the entry at index, which must hold two bytes.
    char& wordByte(int index, int i) { return list_[index].ext_value.data()[i]; }

    // Marks the index stale after a change made to the list without the store; the
    // next lookup rebuilds it once.
    void invalidate() { indexed_ = -1; }
    // Empties the list and the index, as the driver is after load.
    void reset();
    // Times the index was built from the whole list (for the tests).
    int rebuilds() const { return rebuilds_; }

  private:
    int lookup(quint64& key, int station, int type, int address) const;
    void index(int position);
    void rebuildIfStale();

    QList<EXTENDVAR>& list_;
    QHash<quint64, int> index_; // probe key -> position in list_
    int indexed_ = 0;           // entries of list_ the index covers; -1 when stale
    int rebuilds_ = 0;
};

// The driver's one store, over PLC_driver.extend_list.
ExtendStore& extendStore();

// Lookup key of (station, type, address); distinct for stations and types below 65536.
// Colliding keys are told apart by the entry they point to.
inline quint64 extendKey(int station, int type, int address) {
    const quint64 station_address =
        (static_cast<quint64>(static_cast<quint32>(station)) << 32) | static_cast<quint32>(address);
    return station_address ^ (static_cast<quint64>(static_cast<quint32>(type)) << 48);
}

#endif
