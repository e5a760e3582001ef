// Host side of the benchmarks: a communication block, the host's local areas and
// the replies a PLC would send, for a driver returned to its state after load.
#ifndef BENCH_SESSION_H
#define BENCH_SESSION_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

#include "driver_session.h"
#include "omron_fins_tcpip.h"

namespace bench {

// Register types used by the benchmarks (see the register-type table).
enum {
    CIO_BIT = 0,
    W_BIT = 1,
    TIMER_FLAG = 5,
    CIO_WORD = 7,
    W_WORD = 8,
    H_WORD = 9,
    D_WORD = 11,
    TIMER_PV = 12
};

// The shared test session, reset after load, with no callbacks (nothing to record).
class DriverSession : public ::DriverSession {
  public:
    DriverSession(bool multi_station, int max_block);
    ~DriverSession();

    // Completes the node address exchange of the station the next frame serves;
    // false when the driver asked for no handshake or refused the answer.
    bool handshake();

    // Runs one exchange with the reply a PLC would give to the outstanding frame
    // (read data of `fill` bytes); returns the result code, or -1 when nothing was sent.
    int exchange();

  private:
    QByteArray reply_;
};

// The reply a PLC sends to request frame `p`: node address answer, read data
// (every data byte `fill`), or write acknowledgement.
QByteArray replyFor(const Protocol& p, unsigned char fill);

// A deterministic pseudo-random sequence for tag addresses.
class Lcg {
  public:
    explicit Lcg(uint32_t seed) : state_(seed) {}
    uint32_t next(uint32_t bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<uint32_t>((static_cast<uint64_t>(state_ >> 8) * bound) >> 24);
    }

  private:
    uint32_t state_;
};

VAR_DESC varDesc(int reg_type, int station, const QString& addr_text, int length);

// A screen's tags of one station: D words, CIO bits, W words, timer values and flags,
// clustered as an operator panel shows them (neighbouring addresses with small gaps).
QList<VAR_DESC> panelTags(int count, int station, uint32_t seed);

// count variables of one station and one area: Data Memory words at random addresses.
QList<VAR_DESC> scatteredWords(int count, int station, uint32_t seed);

// count variables spread over many stations (0..249) and the CIO and D word areas.
QList<VAR_DESC> manyStations(int count, uint32_t seed);

// count variables over 100 stations (1..100), each station with a panel's clustered tags.
QList<VAR_DESC> stationPanels(int count, uint32_t seed);

} // namespace bench

#endif
