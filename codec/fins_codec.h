// FINS/TCP codec: the wire format and nothing else. No driver state, no globals; the
// bottom layer of the library. The frame makers, the reply storing, the host, the bench,
// the fuzz targets and the tests all read and write FINS bytes through it. (The
// simulator keeps its own reading of FINS on purpose, as a second opinion; it shares
// only the frame limit of fins_limits.h.)
#ifndef FINS_CODEC_H
#define FINS_CODEC_H

#include <QByteArray>

#include "byte_cursor.h"
#include "fins_limits.h"
#include "omron_fins_results.h"

namespace fins {

// ---- Sizes, commands and codes ---------------------------------------------

enum : int {
    TCP_HEADER_SIZE = 16,  // "FINS", length, command, error code
    TCP_LENGTH_COVERS = 8, // the length field counts the bytes after itself
    FINS_HEADER_SIZE = 10, // ICF .. SID
    COMMAND_CODE_SIZE = 2, // MRC, SRC
    AREA_BODY_SIZE = 6,    // area, address (2), bit, item count (2)
    END_CODE_SIZE = 2,     // MRES, SRES
    REPLY_ERROR_CODE_OFFSET = 12,
    FINS_HEADER_OFFSET = TCP_HEADER_SIZE,
    COMMAND_CODE_OFFSET = FINS_HEADER_OFFSET + FINS_HEADER_SIZE,   // 26
    REQUEST_BODY_OFFSET = COMMAND_CODE_OFFSET + COMMAND_CODE_SIZE, // 28
    END_CODE_OFFSET = REQUEST_BODY_OFFSET,                         // 28 in a reply
    REPLY_DATA_OFFSET = END_CODE_OFFSET + END_CODE_SIZE,           // 30
    MEMORY_REQUEST_SIZE = REQUEST_BODY_OFFSET + AREA_BODY_SIZE,    // 34
    WRITE_REPLY_SIZE = REPLY_DATA_OFFSET,                          // 30
    NODE_ADDRESS_REQUEST_SIZE = TCP_HEADER_SIZE + 4,               // 20
    NODE_ADDRESS_REPLY_SIZE = TCP_HEADER_SIZE + 8,                 // 24
    NODE_REPLY_CLIENT_NODE_OFFSET = 19, // low byte of the client (HMI) node
    NODE_REPLY_SERVER_NODE_OFFSET = 23  // low byte of the server (PLC) node
};

// FINS/TCP header commands.
enum : quint32 { TCP_NODE_ADDRESS_SEND = 0, TCP_NODE_ADDRESS_REPLY = 1, TCP_FRAME_SEND = 2 };

// FINS command header fields and memory area command codes.
enum : quint8 {
    ICF_COMMAND = 0x80,
    ICF_RESPONSE = 0xC0,
    GCT_DEFAULT = 0x02,
    MRC_MEMORY_AREA = 0x01,
    SRC_MEMORY_AREA_READ = 0x01,
    SRC_MEMORY_AREA_WRITE = 0x02
};

// FINS addresses are 16 bits wide: words, timers, counters and flag numbers.
const long long ADDRESS_SPACE = 0x10000;
// Bit addresses are word * 16 + bit over the same space.
const long long BIT_ADDRESS_SPACE = ADDRESS_SPACE * 16;
// Counters are addressed 0x8000 above timers in the shared T/C areas.
const unsigned COUNTER_OFFSET = 0x8000;

// ---- Register types --------------------------------------------------------

// How a register type addresses its area.
enum class Unit {
    Bit,  // address = word * 16 + bit; read as whole words, written bit by bit
    Flag, // address = timer/counter number; read in groups of 8 flags
    Word  // address = word (or timer/counter) number
};

// The local-image array that holds a register type's data.
enum class ImageArea { Cio, W, H, A, D, TimerFlag, CounterFlag, TimerPv, CounterPv };

struct RegType {
    int code; // RW_VAR::reg_type
    Unit unit;
    ImageArea image;
    quint8 read_area;  // memory area code of a read request
    quint8 write_area; // memory area code of a write request; 0 = not writable
    bool counter;      // COUNTER_OFFSET is added to the address sent
    int word_type;     // the word type of the same area (bit types: type + 7)
};

// Entry for reg_type 0..13, or nullptr when the type names no PLC area.
const RegType* regType(int reg_type);

// Elements a 16-bit FINS address reaches for a type, in its own unit: bits for bit
// types, words or flags otherwise.
inline long long addressSpaceOf(int reg_type) {
    return isBitType(reg_type) ? BIT_ADDRESS_SPACE : ADDRESS_SPACE;
}

// Address sent on the wire for a type: counters carry 0x8000 on top of their number.
inline quint16 wireAddress(const RegType& t, long long address) {
    return static_cast<quint16>(address + (t.counter ? COUNTER_OFFSET : 0u));
}

// ---- Headers ---------------------------------------------------------------

struct TcpHeader {
    quint32 length = 0; // bytes after the length field
    quint32 command = 0;
    quint32 error = 0;
    // Whole frame size this header announces (header's first 8 bytes + length).
    long long frameSize() const { return TCP_LENGTH_COVERS + static_cast<long long>(length); }
};

void encodeTcpHeader(Writer& out, const TcpHeader& h);
// False when fewer than 16 bytes remain or the magic is not "FINS".
bool decodeTcpHeader(Reader& in, TcpHeader& h);
// Frame size announced by the first 8 bytes of a stream, or -1 when they are not
// there or do not start with "FINS" (for readers that frame a TCP stream).
long long announcedFrameSize(const char* data, int size);

struct FinsHeader {
    quint8 icf = ICF_COMMAND, rsv = 0, gct = GCT_DEFAULT;
    quint8 dna = 0, da1 = 0, da2 = 0; // destination: network, node, unit
    quint8 sna = 0, sa1 = 0, sa2 = 0; // source: network, node, unit
    quint8 sid = 0;
};

void encodeFinsHeader(Writer& out, const FinsHeader& h);
bool decodeFinsHeader(Reader& in, FinsHeader& h);

// ---- Frames ----------------------------------------------------------------

// Memory area read or write request from hmi_node to plc_node, complete up to the
// item count; data_bytes is the size of the write data the caller appends (0 for a read).
QByteArray memoryAreaRequest(quint8 plc_node, quint8 hmi_node, quint8 src, quint8 area,
                             quint16 address, quint8 bit, quint16 items, int data_bytes);

// Write request of `words` words taken from a host buffer (low byte first); they go on
// the wire high byte first, and a word whose two bytes are not both there goes as 00 00.
QByteArray wordWriteRequest(quint8 plc_node, quint8 hmi_node, quint8 area, quint16 address,
                            int words, const QByteArray& host_value);
// Write request of one bit of word `word`, set when on.
QByteArray bitWriteRequest(quint8 plc_node, quint8 hmi_node, quint8 area, quint16 word, quint8 bit,
                           bool on);

// Node address request proposing client_node (0 asks the PLC to choose).
QByteArray nodeAddressRequest(quint32 client_node);

// Node pair of a node address reply: false unless it is exactly 24 bytes with
// FINS/TCP error code 0 (the bytes alone decide, as a PLC's answer is judged).
struct NodePair {
    quint8 hmi_node = 0;
    quint8 plc_node = 0;
};
bool decodeNodeAddressReply(const QByteArray& reply, NodePair& nodes);

// The 4-byte FINS/TCP error code of a reply, or -1 when the reply is shorter.
long long replyErrorCode(const QByteArray& reply);

// The FINS end code (MRES << 8 | SRES) of a command reply, or -1 when absent.
long long replyEndCode(const QByteArray& reply);

// Data bytes a memory area read of this type and length carries: one per flag,
// two per word.
long long readDataBytes(const RegType& t, long long length);
// Items a read asks for: flag types count 8 flags per group, every other type words.
long long readItems(const RegType& t, long long length);

// Word k of the data of a read reply whose data start at data_offset (high byte first
// on the wire); false when the reply does not hold both its bytes.
inline bool replyDataWord(const Reader& reply, long long data_offset, long long k, quint16& word) {
    return reply.u16At(data_offset + 2 * k, word);
}
// Flag group g of a read reply (eight flag bytes) packed into one byte, flag j in bit j;
// false when the reply does not hold all eight.
bool replyFlagGroup(const Reader& reply, long long data_offset, long long g, quint8& packed);

// A length computed in 64 bits, as the 32-bit int the Protocol record carries.
inline int wrapToInt(long long v) {
    return static_cast<int>(static_cast<unsigned int>(v & 0xFFFFFFFFll));
}

// ---- Word order ------------------------------------------------------------

// Word i of a host buffer (low byte first); false when both bytes are not there.
inline bool hostWordAt(const QByteArray& host, long long i, quint16& word) {
    const Reader in(host);
    quint8 low = 0, high = 0;
    if (!in.u8At(2 * i, low) || !in.u8At(2 * i + 1, high)) return false;
    word = static_cast<quint16>(low | high << 8);
    return true;
}
// Appends word v to a host buffer, low byte first.
inline void appendHostWord(QByteArray& host, unsigned v) {
    host.append(static_cast<char>(v & 0xFFu)).append(static_cast<char>((v >> 8) & 0xFFu));
}

} // namespace fins

#endif
