// Conversion of the host's address texts into numeric addresses.
#include <climits>

#include "Func_Initi.h"
#include "fins_frame.h"

namespace {

// Bit types are written "word.bit"; the result is word * 16 + bit, or -1 when the
// text has no point or the number is negative or does not fit in an int.
int bitAddressToInt(const QString& text) {
    if (text.indexOf(QLatin1String(".")) < 0) return -1;
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const qint64 word = parts.at(0).toInt(nullptr, 10);
    const qint64 bit = parts.at(1).toInt(nullptr, 10);
    const qint64 address = word * 16 + bit;
    if (address < 0 || address > INT_MAX) return -1;
    return static_cast<int>(address);
}

} // namespace

int StringAddressToInt(int reg_type, QString addr_text) {
    if (fins::isBitType(reg_type)) return bitAddressToInt(addr_text);
    // Flags, words and types without an area: the whole text is a decimal number,
    // and a text that is not one counts as 0.
    return addr_text.toInt(nullptr, 10);
}

int PLCAddressChangeIntef(int reg_type, QString addr_text) {
    return StringAddressToInt(reg_type, addr_text);
}
