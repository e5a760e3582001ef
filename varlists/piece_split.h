// Splitting of one variable into pieces that each fit into one frame, shared by the
// read-list rebuild and the one-shot read queue. All arithmetic is done in 64 bits.
#ifndef PIECE_SPLIT_H
#define PIECE_SPLIT_H

#include <QtGlobal>
#include <climits>

namespace varlists {

// A FINS address names at most 65536 elements, so no variable usefully covers more;
// longer ones are cut to this many words or flags before they are split.
const qint64 kAddressSpace = 0x10000;

// Integer division rounded towards plus infinity, for a positive divisor.
inline qint64 ceilDiv(qint64 x, qint64 d) {
    return x >= 0 ? (x + d - 1) / d : -((-x) / d);
}

// Calls piece(start, length) for each piece of at most `maximum` elements of the run
// (start, length); piece k starts at start + k * step. A maximum of 0 or less means no
// limit: one piece. A length of 0 or less gives no piece. The length is first cut to
// `cap`, and pieces whose start would not fit in an int are not made.
template <class PieceFn>
void forEachPiece(qint64 start, qint64 length, qint64 maximum, qint64 step, qint64 cap,
                  PieceFn piece) {
    length = qMin(length, cap);
    if (length <= 0) return;
    if (maximum <= 0) {
        piece(start, length);
        return;
    }
    const qint64 full = length / maximum;
    const qint64 rest = length - full * maximum;
    const qint64 count = rest != 0 ? full + 1 : full;
    for (qint64 k = 0; k < count; ++k) {
        const qint64 at = start + k * step;
        if (at > INT_MAX || at < INT_MIN) return;
        piece(at, k == count - 1 && rest != 0 ? rest : maximum);
    }
}

} // namespace varlists

#endif
