// Calls two host entry points of the installed driver and checks their answers:
// the driver answers at all, and converts address texts as a host would need.
#include <cstdio>

#include <omron_fins_results.h>
#include <omron_fins_tcpip.h>

namespace {

struct AddressCase {
    int reg_type;
    const char* text;
    int expected;
};

// Numeric addresses: bit types word * 16 + bit, everything else the plain number.
const AddressCase kCases[] = {
    {fins::REG_D_WORD, "100", 100},       // D100
    {fins::REG_CIO_BIT, "100.05", 1605},  // CIO bit 100.05
    {fins::REG_TIMER_FLAG, "13", 13},     // timer completion flag 13
    {fins::REG_CIO_BIT, "100", -1},       // a bit address needs its bit part
};

} // namespace

int main() {
    int failures = 0;
    const int finished = QueryFinishFlag();
    std::printf("QueryFinishFlag() = %d\n", finished);
    if (finished != 1) ++failures;
    for (const AddressCase& c : kCases) {
        const int got = PLCAddressChangeIntef(c.reg_type, QString::fromLatin1(c.text));
        std::printf("PLCAddressChangeIntef(%d, \"%s\") = %d\n", c.reg_type, c.text, got);
        if (got != c.expected) {
            std::printf("  expected %d\n", c.expected);
            ++failures;
        }
    }
    std::printf(failures ? "consumer: FAILED\n" : "consumer: OK\n");
    return failures ? 1 : 0;
}
