// Conversion of the host's address texts into numeric addresses.
#include <climits>

#include "Func_Initi.h"
#include "fins_codec.h"

namespace {

// Decimal value of text[begin, end) read as QString::toInt reads a whole text in
// base 10 (surrounding white space and a sign allowed), 0 when it is not one.
// Works in place: a screen read converts its address on every call.
qint64 decimalOrZero(const QString& text, int begin, int end) {
    while (begin < end && text.at(begin).isSpace())
        ++begin;
    while (end > begin && text.at(end - 1).isSpace())
        --end;
    bool negative = false;
    if (begin < end && (text.at(begin) == QLatin1Char('-') || text.at(begin) == QLatin1Char('+'))) {
        negative = text.at(begin) == QLatin1Char('-');
        ++begin;
    }
    if (begin == end) return 0;
    qint64 value = 0;
    for (int i = begin; i < end; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > qint64(INT_MAX) + 1) return 0;
    }
    if (negative) value = -value;
    return value < INT_MIN || value > INT_MAX ? 0 : value;
}

// Bit types are written "word.bit" (parts after a second point are ignored); the
// result is word * 16 + bit, negative parts included ("-1.5" gives -11, which callers
// reject), or -1 when the text has no point or the number does not fit in an int.
int bitAddressToInt(const QString& text) {
    const int dot = text.indexOf(QLatin1Char('.'));
    if (dot < 0) return -1;
    int bit_end = text.indexOf(QLatin1Char('.'), dot + 1);
    if (bit_end < 0) bit_end = text.size();
    const qint64 word = decimalOrZero(text, 0, dot);
    const qint64 bit = decimalOrZero(text, dot + 1, bit_end);
    const qint64 address = word * 16 + bit;
    if (address < INT_MIN || address > INT_MAX) return -1;
    return static_cast<int>(address);
}

} // namespace

int StringAddressToInt(int reg_type, QString addr_text) {
    if (fins::isBitType(reg_type)) return bitAddressToInt(addr_text);
    // Flags, words and types without an area: the whole text is a decimal number,
    // and a text that is not one counts as 0.
    return addr_text.toInt(nullptr, 10);
}
