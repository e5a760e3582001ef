// Tag files: the variables a screen shows, one per line.
//
//   # name      type      address  [length]  [station]
//   speed       D         100
//   recipe      D         200      10        2
//   lamp        CIO.bit   10.03
//   temp        D:REAL    310                # D310-D311
//   total       D:DINT:swap 320              # highest word first
//
// Fields are separated by blanks; '#' starts a comment. The type is a mnemonic
// (CIO.bit W.bit H.bit A.bit D.bit T.flag C.flag CIO W H A D T C) or its code 0..13,
// optionally followed by ':' and a data type (plc_values.h; words default to UINT, bits
// and flags are BOOL). Bit types take word.bit addresses (bit 0..15), the others a plain
// number. The length counts values of the data type (default 1); the station defaults
// to the host's default.
#ifndef FINS_HOST_TAG_FILE_H
#define FINS_HOST_TAG_FILE_H

#include <string>
#include <vector>

#include "fins_peer.h"
#include "plc_values.h"

namespace fhost {

enum { DEFAULT_STATION = -1, MAX_STATION = 254 };

struct Tag {
    std::string name;
    int reg_type = 0;
    std::string addr_text;
    plcvalues::ValueType value_type; // UINT for words unless the file says; BOOL for bits
    bool typed = false;              // the file gave the data type
    int values = 1;                  // values of that type: the file's length field
    int start = 0;                   // addr_text in elements of the type's unit (bits: word * 16 + bit)
    int length = 1;                  // what the driver reads: bits, flags or words
    int station = DEFAULT_STATION;   // DEFAULT_STATION: the host's default station
    int line = 0;
};

struct TagError {
    int line;
    std::string reason;
};

struct TagFile {
    std::vector<Tag> tags;
    std::vector<TagError> errors; // in line order; the file is unusable when not empty
};

enum class LineKind { Blank, Tag, Error };

// Parses one line (without its newline). Blank and comment-only lines give Blank.
LineKind parseTagLine(const std::string& line, Tag* tag, std::string* reason);

// Parses a whole text: every line, duplicate names, and at least one tag.
TagFile parseTagText(const std::string& text);

// Reads and parses a file (a UTF-8 byte order mark is skipped); an unreadable file is
// one error on line 0 with the system's reason.
TagFile loadTagFile(const std::string& path);

// The tag of that name, or null: the one place tags are looked up by name.
const Tag* findTag(const std::vector<Tag>& tags, const std::string& name);

// "line N: reason" for one error; just the reason for the file as a whole.
std::string describe(const TagError& error);

// The register type of a parsed tag: a tag file accepts only types that name a PLC area.
inline const fins::RegType& tagType(const Tag& tag) {
    return *fins::regType(tag.reg_type);
}

} // namespace fhost

#endif
