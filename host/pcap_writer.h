// Classic pcap recording of the host's FINS/TCP traffic. The host owns plain sockets,
// so the link, IP and TCP layers are synthesised: Ethernet II, IPv4 and TCP with
// consistent sequence and acknowledgement numbers, a SYN handshake when a connection
// opens and a FIN exchange when it closes. The PLC side uses port 9600.
#ifndef FINS_HOST_PCAP_WRITER_H
#define FINS_HOST_PCAP_WRITER_H

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "plc_connection.h"

namespace fhost {

typedef QByteArray Bytes;

enum : uint32_t { PCAP_LINKTYPE_ETHERNET = 1, PCAP_SNAPLEN = 65535, TCP_MAX_SEGMENT = 1460 };
// Port of the PLC side in the recording; remote-mode frames are not FINS, so they are
// recorded on a port that no dissector claims.
constexpr uint16_t REMOTE_PCAP_PORT = 49600;

struct PcapTime {
    uint32_t sec;
    uint32_t usec;
};

// The 24-byte file header: magic a1b2c3d4 (microseconds), version 2.4, Ethernet.
Bytes pcapFileHeader();

// One packet record: 16-byte record header followed by the frame.
Bytes pcapRecord(PcapTime time, const Bytes& frame);

// One synthesised TCP connection, host (client) to PLC (server).
class TcpFlow {
  public:
    TcpFlow(uint32_t client_ip, uint16_t client_port, uint32_t server_ip, uint16_t server_port,
            uint32_t client_isn, uint32_t server_isn);

    std::vector<Bytes> open();                         // SYN, SYN/ACK, ACK
    std::vector<Bytes> clientSends(const Bytes& data); // PSH/ACK segments
    std::vector<Bytes> serverSends(const Bytes& data);
    std::vector<Bytes> close(); // FIN/ACK, FIN/ACK, ACK

  private:
    struct Side {
        uint32_t ip;
        uint16_t port;
        uint32_t seq;
        uint16_t ip_id;
        uint8_t mac_last;
    };
    Bytes segment(Side& from, const Side& to, uint8_t flags, const Bytes& data);
    std::vector<Bytes> sendData(Side& from, const Side& to, const Bytes& data);

    Side client_;
    Side server_;
};

// Ethernet + IPv4 + TCP frame with correct header and TCP checksums.
Bytes tcpFrame(uint32_t src_ip, uint16_t src_port, uint8_t src_mac_last, uint32_t dst_ip,
               uint16_t dst_port, uint8_t dst_mac_last, uint32_t seq, uint32_t ack, uint8_t flags,
               uint16_t ip_id, const Bytes& data);

// Internet checksum (one's complement of the one's complement sum of 16-bit words).
uint16_t internetChecksum(const char* data, int size, uint32_t initial = 0);

enum : uint8_t { TCP_FIN = 0x01, TCP_SYN = 0x02, TCP_PSH = 0x08, TCP_ACK = 0x10 };

// A pcap file on disk; flows are numbered by the order of their opening.
class PcapFile {
  public:
    PcapFile() = default;
    ~PcapFile();
    PcapFile(const PcapFile&) = delete;
    PcapFile& operator=(const PcapFile&) = delete;

    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return file_ != nullptr; }
    void write(const std::vector<Bytes>& frames); // stamped with the current wall-clock time
    void close();

  private:
    std::FILE* file_ = nullptr;
};

} // namespace fhost

#endif
