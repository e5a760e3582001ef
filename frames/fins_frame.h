// The driver's side of the frames: byte appenders and the reader its builders use
// over the codec, the node pair of the station being served, and the queueing of a
// finished frame.
#ifndef FINS_FRAME_H
#define FINS_FRAME_H

#include <QByteArray>

#include "fins_codec.h"
#include "omron_fins_tcpip.h"

namespace fins {

// Names the driver's builders use for the codec's sizes.
enum : int {
    HANDSHAKE_REQUEST_SIZE = NODE_ADDRESS_REQUEST_SIZE,
    HANDSHAKE_REPLY_SIZE = NODE_ADDRESS_REPLY_SIZE,
    READ_REQUEST_SIZE = MEMORY_REQUEST_SIZE
};
enum : unsigned {
    TCP_CMD_NODE_ADDRESS_SEND = TCP_NODE_ADDRESS_SEND,
    TCP_CMD_NODE_ADDRESS_REPLY = TCP_NODE_ADDRESS_REPLY,
    TCP_CMD_FRAME_SEND = TCP_FRAME_SEND
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
