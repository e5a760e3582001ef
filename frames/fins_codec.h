// FINS/TCP codec: the wire format and nothing else. No driver state, no globals;
// the driver's builders and reply checks, the host, the bench, the fuzz targets and
// the tests all read and write FINS bytes through it. (The simulator keeps its own
// reading of FINS on purpose, as a second opinion.)
#ifndef FINS_CODEC_H
#define FINS_CODEC_H

#include <QByteArray>

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

// Where a host keeps the HMI's IPv4 address text in its LW area, and its room.
enum : int { HMI_ADDRESS_OFFSET = 122400, HMI_ADDRESS_BYTES = 16 };

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
    int code;             // RW_VAR::reg_type
    const char* mnemonic; // as a tag file writes it: "CIO.bit", "D", "T.flag"
    Unit unit;
    ImageArea image;
    quint8 read_area;  // memory area code of a read request
    quint8 write_area; // memory area code of a write request; 0 = not writable
    bool counter;      // COUNTER_OFFSET is added to the address sent
    int word_type;     // the word type of the same area (bit types: type + 7)
    int area_words;    // size of the area in a CP1L (30+ I/O points): words, timers, counters
};

enum : int { REG_TYPE_COUNT = 14 };

// Entry for reg_type 0..13, or nullptr when the type names no PLC area.
const RegType* regType(int reg_type);
// Entry for a mnemonic (case-insensitive), or nullptr.
const RegType* regTypeByMnemonic(const QByteArray& mnemonic);

inline bool isBitType(int reg_type) {
    const RegType* t = regType(reg_type);
    return t && t->unit == Unit::Bit;
}
inline bool isFlagType(int reg_type) {
    const RegType* t = regType(reg_type);
    return t && t->unit == Unit::Flag;
}

// Elements a 16-bit FINS address reaches for a type, in its own unit: bits for bit
// types, words or flags otherwise.
inline long long addressSpaceOf(int reg_type) {
    return isBitType(reg_type) ? BIT_ADDRESS_SPACE : ADDRESS_SPACE;
}

// Address sent on the wire for a type: counters carry 0x8000 on top of their number.
inline quint16 wireAddress(const RegType& t, long long address) {
    return static_cast<quint16>(address + (t.counter ? COUNTER_OFFSET : 0u));
}

// ---- Big-endian cursor -----------------------------------------------------

// Reads a received buffer; every read checks pos + n <= end before it reads and
// fails without moving when the bytes are not all there.
class Reader {
  public:
    Reader(const char* data, int size) : data_(data), end_(data && size > 0 ? size : 0) {}
    explicit Reader(const QByteArray& bytes) : Reader(bytes.constData(), bytes.size()) {}

    int pos() const { return pos_; }
    int size() const { return end_; }
    int remaining() const { return end_ - pos_; }
    bool has(long long n) const { return n >= 0 && pos_ + n <= end_; }
    bool seek(long long pos) {
        if (pos < 0 || pos > end_) return false;
        pos_ = static_cast<int>(pos);
        return true;
    }
    bool skip(long long n) { return has(n) && seek(pos_ + n); }
    bool u8(quint8& v) { return get(1, v); }
    bool u16(quint16& v) { return get(2, v); }
    bool u32(quint32& v) { return get(4, v); }

    // Absolute reads that leave the cursor alone: -1 when the bytes are not there.
    int u8At(long long pos) const { return within(pos, 1) ? byte(pos) : -1; }
    long long u16At(long long pos) const {
        return within(pos, 2) ? (byte(pos) << 8 | byte(pos + 1)) : -1;
    }
    long long u32At(long long pos) const {
        return within(pos, 4) ? (static_cast<long long>(u16At(pos)) << 16 | u16At(pos + 2)) : -1;
    }
    bool within(long long pos, long long n) const { return pos >= 0 && n >= 0 && pos + n <= end_; }

  private:
    int byte(long long pos) const { return static_cast<unsigned char>(data_[pos]); }
    template <typename T> bool get(int n, T& v) {
        if (!has(n)) return false;
        quint32 x = 0;
        for (int i = 0; i < n; ++i)
            x = x << 8 | static_cast<quint32>(byte(pos_ + i));
        v = static_cast<T>(x);
        pos_ += n;
        return true;
    }

    const char* data_;
    int end_;
    int pos_ = 0;
};

// Appends big-endian values to a byte array.
class Writer {
  public:
    explicit Writer(QByteArray& out) : out_(out) {}
    Writer& u8(unsigned v) {
        out_.append(static_cast<char>(v & 0xFFu));
        return *this;
    }
    Writer& u16(unsigned v) { return u8(v >> 8).u8(v); }
    Writer& u32(quint32 v) { return u16(v >> 16).u16(v); }
    Writer& bytes(const QByteArray& b) {
        out_.append(b);
        return *this;
    }

  private:
    QByteArray& out_;
};

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

// Node address request proposing client_node (0 asks the PLC to choose).
QByteArray nodeAddressRequest(quint32 client_node);

// A PLC's answers, for the tools and tests that stand in for one: the node address
// reply, and the reply to a FINS command (header turned round, MRC/SRC echoed, end
// code, data). An unreadable request gets a reply with zero nodes and codes.
QByteArray nodeAddressReply(quint32 client_node, quint32 server_node, quint32 error = 0);
QByteArray commandReply(const QByteArray& request, quint16 end_code, const QByteArray& data);

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
// What an end code means, for people ("read-only area", "address out of range").
const char* endCodeText(unsigned end_code);
// What a FINS/TCP error code means.
const char* tcpErrorText(quint32 code);

// Data bytes a memory area read of this type and length carries: one per flag,
// two per word.
long long readDataBytes(const RegType& t, long long length);
// Items a read asks for: flag types count 8 flags per group, every other type words.
long long readItems(const RegType& t, long long length);

// ---- Word order ------------------------------------------------------------

// On the wire a word is high byte first; host buffers keep it low byte first.
inline quint16 wireWordAt(const Reader& in, long long pos) {
    return static_cast<quint16>(in.u16At(pos));
}
// Word i of a host buffer (low byte first), or -1 when both bytes are not there.
inline long long hostWordAt(const QByteArray& host, long long i) {
    const Reader in(host);
    return in.within(2 * i, 2) ? (in.u8At(2 * i) | in.u8At(2 * i + 1) << 8) : -1;
}
// Appends word v to a host buffer, low byte first.
inline void appendHostWord(QByteArray& host, unsigned v) {
    host.append(static_cast<char>(v & 0xFFu)).append(static_cast<char>((v >> 8) & 0xFFu));
}

} // namespace fins

#endif
