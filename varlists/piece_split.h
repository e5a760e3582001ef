// Splitting of one variable into pieces that each fit into one frame, shared by the
// read-list rebuild, the one-shot read queue and screen writes. All arithmetic is done
// in 64 bits.
#ifndef PIECE_SPLIT_H
#define PIECE_SPLIT_H

#include <QtGlobal>
#include <climits>

#include "fins_codec.h"

namespace varlists {

// Most pieces made of one variable. Remote frames carry 32-bit addresses, so there no
// address space bounds the work of an absurd length; in FINS mode the start bound is
// reached first.
const qint64 kMaxPieces = 0x10000;

// Start limit that lets every int address through.
const qint64 kAnyIntStart = qint64(INT_MAX) + 1;

// First address no piece may start at: past the FINS address space an address sent
// would wrap onto other PLC words; remote frames carry any int address.
inline qint64 pieceStartLimit(bool remote_mode) {
    return remote_mode ? kAnyIntStart : fins::ADDRESS_SPACE;
}

// Integer division rounded towards plus infinity, for a positive divisor.
inline qint64 ceilDiv(qint64 x, qint64 d) {
    return x >= 0 ? (x + d - 1) / d : -((-x) / d);
}

// A variable at numeric address a with n elements, in the units reads use: a bit
// type becomes the words that hold its bits, a flag type starts on a multiple of 8
// (length still in flags), and every other type keeps its address and length.
struct ReadRun {
    qint64 start, length;
    bool flags;
};
inline ReadRun toReadRun(const fins::RegType& t, qint64 a, qint64 n) {
    switch (t.unit) {
    case fins::Unit::Bit:
        return {a >> 4, ceilDiv((a & 15) + n, 16), false};
    case fins::Unit::Flag:
        return {a & ~qint64(7), (a & 7) + n, true};
    default:
        return {a, n, false};
    }
}

// Calls piece(start, length) for each piece of the run (start, length) split at
// `maximum`: q = length / maximum (truncated), r = length - q * maximum; q + 1 pieces,
// the last r long, when r is not 0, else q pieces. A maximum of 0 gives one piece, and
// a negative one gives one piece when it exceeds the length in size, else none. Piece
// k starts at start + k * step. A length of 0 or less gives no piece; pieces starting
// outside [INT_MIN, start_limit) are not made. piece returns false to stop.
template <class PieceFn>
void forEachPiece(qint64 start, qint64 length, qint64 maximum, qint64 step, qint64 start_limit,
                  PieceFn piece) {
    if (length <= 0) return;
    const qint64 full = maximum == 0 ? 0 : length / maximum;
    const qint64 rest = length - full * maximum;
    const qint64 count = qMin(rest != 0 ? full + 1 : full, kMaxPieces);
    for (qint64 k = 0; k < count; ++k) {
        const qint64 at = start + k * step;
        if (at >= start_limit || at < INT_MIN) return;
        if (!piece(at, rest != 0 && k == full ? rest : maximum)) return;
    }
}

} // namespace varlists

#endif
