// Plays the PLC's side of the driver's exchanges, byte by byte: builds the answers
// a CP1L gives (node address answers, read data, write acknowledgements, FINS/TCP
// error codes, remote-mode replies), keeps a model of PLC memory per station, and
// drives one exchange at a time so tests read as conversations:
//
//     PlcPeer plc;
//     EXPECT_EQ(plc.serveTcpError(1).result, 0);   // bad reply, frame kept
//     EXPECT_EQ(plc.serve().what, "write D100 x1"); // sent again, answered
#ifndef PLC_PEER_H
#define PLC_PEER_H

#include <QByteArray>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "omron_fins_tcpip.h"

namespace peer {

// ---- Answers, built from the outstanding frame --------------------------------

// FINS/TCP node address answer (24 bytes): command 1, error code, client node, server node.
QByteArray handshakeAnswer(unsigned hmi_node, unsigned plc_node, unsigned error = 0);

// FINS/TCP response to the memory area request `request`: response header addressed
// back to the requester, the request's MRC/SRC, end code, then data.
QByteArray finsResponse(const QByteArray& request, const QByteArray& data, unsigned tcp_error = 0,
                        unsigned end_code = 0);

// Read reply to frame p carrying words, high byte first on the wire.
QByteArray wordReply(const Protocol& p, const std::vector<unsigned>& words);
// Acknowledgement of a write frame (30 bytes).
QByteArray writeAck(const Protocol& p);
// A reply of the length frame p expects (p_aux2 data bytes of 0) with a FINS/TCP
// error code; in remote mode a remote-mode reply with the code in bytes 12 to 15.
QByteArray errorReply(const Protocol& p, unsigned tcp_error, bool remote);

// Remote-mode reply: 23-byte head (error code in bytes 12 to 15), data, 4-byte tail.
QByteArray remoteReply(const QByteArray& data, unsigned error = 0);

// reply cut or padded with zero bytes to size bytes.
QByteArray resized(QByteArray reply, int size);

// Big-endian words as bytes.
QByteArray wordBytes(const std::vector<unsigned>& words);

// ---- What a frame asks for -------------------------------------------------------

struct Request {
    enum Kind { Unknown, Handshake, Read, Write, RemoteRead, RemoteWrite } kind = Unknown;
    unsigned plc_node = 0, hmi_node = 0; // DA1, SA1; proposed client node of a handshake
    unsigned area = 0, address = 0, bit = 0, items = 0;
    QByteArray data; // write data as sent
};

// Reads a request frame; remote selects the remote-mode framing.
Request parseRequest(const QByteArray& frame, bool remote);

// Readable name of a request, e.g. "handshake", "read D100 x1", "write D100 x2",
// "write bit CIO100.05 = 1", "read TF16 x16", "read CPV10 x1", "remote read type 11 @100 x4".
std::string describe(const Request& r);

// ---- PLC memory ------------------------------------------------------------------

// Memory of every station's PLC: word areas by word area code (0xB0 CIO, 0xB1 W,
// 0xB2 H, 0xB3 A, 0x82 D, 0x89 timer/counter present values with counters at
// 0x8000 + n) and completion flags (area 0x09, counters at 0x8000 + n).
class PlcMemory {
  public:
    unsigned word(int station, unsigned area, unsigned address) const;
    void setWord(int station, unsigned area, unsigned address, unsigned value);
    unsigned flag(int station, unsigned address) const;
    void setFlag(int station, unsigned address, unsigned value);
    // Applies a write request as the PLC does; false for an area it does not know.
    bool apply(int station, const Request& r);
    // Data bytes a read request returns, or false for an unknown area.
    bool read(int station, const Request& r, QByteArray& data) const;

  private:
    std::map<std::pair<int, unsigned>, std::vector<unsigned short>> words_;
    std::map<int, std::vector<unsigned char>> flags_;
};

// Word area code a bit write area code stands for (0x30 -> 0xB0, ..., 0x02 -> 0x82), or 0.
unsigned wordAreaOfBitArea(unsigned bit_area);

// ---- The conversation --------------------------------------------------------------

// One turn of the host's loop: the frame the driver gave, and what DataCom returned.
struct Turn {
    bool sent = false; // ComCommunication returned a frame
    QByteArray frame;  // the bytes sent
    int send_len = 0, reply_len = 0, p_aux1 = 0, p_aux2 = 0;
    RW_VAR frame_var{}; // the frame's copy of the variable it serves
    std::string what;   // describe() of the frame, "" when nothing was sent
    int result = -1;    // cur_var.result after DataCom; -1 when nothing was sent
    RW_VAR returned{};  // copy of cur_var after DataCom
};

class PlcPeer {
  public:
    // remote: answer remote-mode frames (COM_INFO.remote_mode set).
    explicit PlcPeer(bool remote = false) : remote_(remote) {}

    PlcMemory& memory() { return memory_; }
    // PLC node number a station answers the handshake with (default 1).
    void setPlcNode(int station, unsigned node) { plc_nodes_[station] = node; }
    unsigned plcNode(int station) const;

    // The PLC's answer to frame p: node address answer (client node 0xFB when the
    // HMI proposes 0), data from memory, or the
    // acknowledgement of a write (applied to memory); remote frames get zero data.
    QByteArray answer(const Protocol& p);

    // ComCommunication, then DataCom with the answer.
    Turn serve();
    // As serve, but the answer carries FINS/TCP error code `code` at the expected length.
    Turn serveTcpError(unsigned code);
    // As serve, with the answer cut or padded to size bytes and reported with that length.
    Turn serveLength(int size);
    // ComCommunication, then DataCom with reply bytes and a reported length of your own.
    Turn serveBytes(const QByteArray& reply, int len);
    // A node address answer with error code `code` (refusal).
    Turn serveHandshakeRefusal(unsigned code = 0x21);
    // ComCommunication only; the frame is left outstanding.
    Turn peek();

  private:
    Turn begin();
    void finish(Turn& t, QByteArray reply, int len);

    bool remote_;
    PlcMemory memory_;
    std::map<int, unsigned> plc_nodes_;
    std::vector<std::string> log_;
};

} // namespace peer

#endif
