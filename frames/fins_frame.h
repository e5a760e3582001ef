// FINS/TCP wire layout shared by every frame builder and reply reader, and the one
// register-type table that every function branching on RW_VAR::reg_type consults.
#ifndef FINS_FRAME_H
#define FINS_FRAME_H

#include <QByteArray>

#include "omron_fins_tcpip.h"

namespace fins {

// ---- Register types -------------------------------------------------------

// How a register type addresses its area.
enum class Unit {
    None, // no PLC area behind the type
    Bit,  // address = word * 16 + bit; read as whole words, written bit by bit
    Flag, // address = timer/counter number; read in groups of 8 flags
    Word  // address = word (or timer/counter) number
};

// The local-image array that holds a register type's data.
enum class ImageArea { None, Cio, W, H, A, D, TimerFlag, CounterFlag, TimerPv, CounterPv };

struct RegType {
    Unit unit;
    ImageArea image;
    unsigned char read_area;  // memory area code of a read request
    unsigned char write_area; // memory area code of a write request; 0 = not writable
    bool counter;             // 0x8000 is added to the address sent
    int word_type;            // the word type of the same area (bit types: type + 7)
    int rebuild_list;         // single-station area list of the read-list rebuild, 1..9
};

// Entry for reg_type, or nullptr when the type names no PLC area (negative, 14 and up).
const RegType* regType(int reg_type);

inline bool isBitType(int reg_type) {
    const RegType* t = regType(reg_type);
    return t && t->unit == Unit::Bit;
}
inline bool isFlagType(int reg_type) {
    const RegType* t = regType(reg_type);
    return t && t->unit == Unit::Flag;
}

// Address sent on the wire for a type: counters carry 0x8000 on top of their number.
inline unsigned int wireAddress(const RegType& t, int address) {
    return (static_cast<unsigned int>(address) + (t.counter ? 0x8000u : 0u)) & 0xFFFFu;
}

// ---- Wire constants -------------------------------------------------------

enum : unsigned int {
    TCP_HEADER_SIZE = 16,
    COMMAND_HEADER_SIZE = 10,
    TCP_CMD_NODE_ADDRESS_SEND = 0,
    TCP_CMD_NODE_ADDRESS_REPLY = 1,
    TCP_CMD_FRAME_SEND = 2,
    HANDSHAKE_REQUEST_SIZE = 20,
    HANDSHAKE_REPLY_SIZE = 24,
    MRC_MEMORY_AREA = 0x01,
    SRC_MEMORY_AREA_READ = 0x01,
    SRC_MEMORY_AREA_WRITE = 0x02,
    REPLY_ERROR_CODE_OFFSET = 12, // FINS/TCP error code, 4 bytes
    REPLY_DATA_OFFSET = 30,       // first data byte of a memory area read reply
    READ_REQUEST_SIZE = 34,
    BIT_WRITE_REQUEST_SIZE = 35,
    WRITE_REPLY_SIZE = 30,
    ICF_COMMAND = 0x80,
    GCT_DEFAULT = 0x02
};

// ---- Big-endian writers ---------------------------------------------------

inline void appendU8(QByteArray& out, unsigned int v) {
    out.append(static_cast<char>(v & 0xFFu));
}
inline void appendU16(QByteArray& out, unsigned int v) {
    appendU8(out, v >> 8);
    appendU8(out, v);
}
inline void appendU32(QByteArray& out, unsigned int v) {
    appendU16(out, v >> 16);
    appendU16(out, v);
}
inline void putU8(QByteArray& out, int pos, unsigned int v) {
    out[pos] = static_cast<char>(v & 0xFFu);
}

// FINS/TCP header: magic, length of what follows the length field, command, error 0.
void appendTcpHeader(QByteArray& out, unsigned int command, unsigned int length_after);

// FINS command header (ICF .. SID) for the station's node pair, then MRC and SRC.
void appendCommandHeader(QByteArray& out, const Check_Plc& nodes, unsigned int src);

// Memory area body: area code, beginning address, bit position, number of items.
void appendAreaBody(QByteArray& out, unsigned int area, unsigned int address, unsigned int bit,
                    unsigned int items);

// A memory area read or write request for the node pair, complete up to the item
// count; data_bytes is the size of the write data the caller appends (0 for a read).
QByteArray memoryAreaRequest(const Check_Plc& nodes, unsigned int src, unsigned int area,
                             unsigned int address, unsigned int bit, unsigned int items,
                             unsigned int data_bytes);

// A length computed in 64 bits, as the 32-bit int the Protocol record carries.
inline int wrapToInt(long long v) {
    return static_cast<int>(static_cast<unsigned int>(v & 0xFFFFFFFFll));
}

// ---- Bounds-checked reader ------------------------------------------------

// Reads a received buffer; every access checks pos + n <= size before it reads.
class ByteReader {
  public:
    ByteReader(const char* data, int size) : data_(data), size_(data ? size : 0) {
        if (size_ < 0) size_ = 0;
    }
    explicit ByteReader(const QByteArray& bytes) : ByteReader(bytes.constData(), bytes.size()) {}

    int size() const { return size_; }
    bool has(long long pos, long long n) const { return pos >= 0 && n >= 0 && pos + n <= size_; }
    // Byte at pos as 0..255, or -1 when pos lies outside the buffer.
    int u8(long long pos) const {
        return has(pos, 1) ? static_cast<unsigned char>(data_[pos]) : -1;
    }
    // Big-endian 32-bit value at pos, or false when the four bytes are not all there.
    bool u32(long long pos, unsigned int& v) const;

  private:
    const char* data_;
    int size_;
};

// True when the reply holds the 4-byte FINS/TCP error code and it is zero.
bool replyErrorCodeIsZero(const QByteArray& reply);

// Station node pair of plc_add_number, or nullptr when map_list has no entry for it.
const Check_Plc* stationNodes();

// Queue a finished frame on the driver and mark one frame needed for the entry.
void queueFrame(const QByteArray& frame, int reply_len, int data_offset, int data_bytes,
                const RW_VAR& var);

} // namespace fins

#endif
