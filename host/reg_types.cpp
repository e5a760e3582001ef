#include "reg_types.h"

#include <cctype>
#include <cstdlib>

namespace fhost {

namespace {

// Indexed by register-type code; area sizes are those of a CP1L with 30 or more I/O points.
const TagType kTypes[] = {
    {0, "CIO.bit", TagUnit::Bit, 6144}, {1, "W.bit", TagUnit::Bit, 512},
    {2, "H.bit", TagUnit::Bit, 512},    {3, "A.bit", TagUnit::Bit, 960},
    {4, "D.bit", TagUnit::Bit, 32768},  {5, "T.flag", TagUnit::Flag, 4096},
    {6, "C.flag", TagUnit::Flag, 4096}, {7, "CIO", TagUnit::Word, 6144},
    {8, "W", TagUnit::Word, 512},       {9, "H", TagUnit::Word, 512},
    {10, "A", TagUnit::Word, 960},      {11, "D", TagUnit::Word, 32768},
    {12, "T", TagUnit::Word, 4096},     {13, "C", TagUnit::Word, 4096},
};
const int kTypeCount = sizeof kTypes / sizeof kTypes[0];

bool equalsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

bool isSmallNumber(const std::string& text) {
    if (text.empty() || text.size() > 2) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace

const TagType* tagTypeByCode(int code) {
    return code >= 0 && code < kTypeCount ? &kTypes[code] : nullptr;
}

const TagType* tagTypeByName(const std::string& text) {
    if (isSmallNumber(text)) return tagTypeByCode(std::atoi(text.c_str()));
    for (const TagType& t : kTypes)
        if (equalsIgnoringCase(text, t.mnemonic)) return &t;
    return nullptr;
}

} // namespace fhost
