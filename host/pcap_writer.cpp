#include "pcap_writer.h"

#include <sys/time.h>

#include "byte_cursor.h"

namespace fhost {

namespace {

const int kEthernetHeader = 14, kIpHeader = 20, kTcpHeader = 20;
const int kIpChecksumAt = 10, kTcpChecksumAt = 16;

// pcap headers are written little-endian, with the magic telling readers so; the
// network headers are big-endian like FINS and go through its writer.
void putLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>(v >> (8 * i)));
}
void putLe16(Bytes& out, uint32_t v) {
    out.append(static_cast<char>(v)).append(static_cast<char>(v >> 8));
}
void putMac(fins::Writer& out, uint8_t last) {
    out.u8(0x02).u32(0).u8(last); // locally administered
}
void patchU16(Bytes& out, int pos, uint16_t v) {
    Bytes field;
    fins::Writer(field).u16(v);
    out.replace(pos, 2, field);
}

uint32_t sumWords(const char* data, int size, uint32_t sum) {
    const fins::Reader in(data, size);
    quint16 word = 0;
    for (int i = 0; i + 1 < size && in.u16At(i, word); i += 2)
        sum += word;
    quint8 last = 0;
    if (size & 1 && in.u8At(size - 1, last)) sum += static_cast<uint32_t>(last) << 8;
    return sum;
}

} // namespace

uint16_t internetChecksum(const char* data, int size, uint32_t initial) {
    uint32_t sum = sumWords(data, size, initial);
    while (sum >> 16)
        sum = (sum & 0xFFFFu) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFFu);
}

Bytes pcapFileHeader() {
    Bytes out;
    putLe32(out, 0xA1B2C3D4u);
    putLe16(out, 2); // version 2.4
    putLe16(out, 4);
    putLe32(out, 0); // this zone
    putLe32(out, 0); // timestamp accuracy
    putLe32(out, PCAP_SNAPLEN);
    putLe32(out, PCAP_LINKTYPE_ETHERNET);
    return out;
}

Bytes pcapRecord(PcapTime time, const Bytes& frame) {
    Bytes out;
    putLe32(out, time.sec);
    putLe32(out, time.usec);
    putLe32(out, static_cast<uint32_t>(frame.size())); // captured
    putLe32(out, static_cast<uint32_t>(frame.size())); // on the wire
    return out + frame;
}

Bytes tcpFrame(uint32_t src_ip, uint16_t src_port, uint8_t src_mac_last, uint32_t dst_ip,
               uint16_t dst_port, uint8_t dst_mac_last, uint32_t seq, uint32_t ack, uint8_t flags,
               uint16_t ip_id, const Bytes& data) {
    Bytes frame;
    frame.reserve(kEthernetHeader + kIpHeader + kTcpHeader + data.size());
    fins::Writer out(frame);
    putMac(out, dst_mac_last);
    putMac(out, src_mac_last);
    out.u16(0x0800); // IPv4

    const int ip_at = frame.size();
    out.u8(0x45); // version 4, 5 words of header
    out.u8(0x00);
    out.u16(kIpHeader + kTcpHeader + data.size());
    out.u16(ip_id);
    out.u16(0x4000); // don't fragment
    out.u8(64);      // TTL
    out.u8(6);       // TCP
    out.u16(0);      // checksum, patched below
    out.u32(src_ip).u32(dst_ip);
    patchU16(frame, ip_at + kIpChecksumAt, internetChecksum(frame.constData() + ip_at, kIpHeader));

    const int tcp_at = frame.size();
    out.u16(src_port).u16(dst_port);
    out.u32(seq).u32((flags & TCP_ACK) ? ack : 0);
    out.u8(0x50); // 5 words of header, no options
    out.u8(flags);
    out.u16(65535); // window
    out.u16(0);     // checksum, patched below
    out.u16(0);     // urgent pointer
    out.bytes(data);

    Bytes pseudo;
    fins::Writer(pseudo).u32(src_ip).u32(dst_ip).u16(6).u16(kTcpHeader + data.size());
    const uint32_t initial = sumWords(pseudo.constData(), pseudo.size(), 0);
    patchU16(frame, tcp_at + kTcpChecksumAt,
             internetChecksum(frame.constData() + tcp_at, kTcpHeader + data.size(), initial));
    return frame;
}

TcpFlow::TcpFlow(uint32_t client_ip, uint16_t client_port, uint32_t server_ip, uint16_t server_port,
                 uint32_t client_isn, uint32_t server_isn)
    : client_{client_ip, client_port, client_isn, 1, 0x01}, server_{server_ip, server_port,
                                                                    server_isn, 1, 0x02} {}

Bytes TcpFlow::segment(Side& from, const Side& to, uint8_t flags, const Bytes& data) {
    Bytes frame = tcpFrame(from.ip, from.port, from.mac_last, to.ip, to.port, to.mac_last, from.seq,
                           to.seq, flags, from.ip_id++, data);
    from.seq += static_cast<uint32_t>(data.size());
    if (flags & (TCP_SYN | TCP_FIN)) from.seq += 1; // SYN and FIN take one sequence number
    return frame;
}

std::vector<Bytes> TcpFlow::open() {
    std::vector<Bytes> out;
    out.push_back(segment(client_, server_, TCP_SYN, Bytes()));
    out.push_back(segment(server_, client_, TCP_SYN | TCP_ACK, Bytes()));
    out.push_back(segment(client_, server_, TCP_ACK, Bytes()));
    return out;
}

std::vector<Bytes> TcpFlow::sendData(Side& from, const Side& to, const Bytes& data) {
    std::vector<Bytes> out;
    for (int at = 0; at < data.size(); at += TCP_MAX_SEGMENT)
        out.push_back(segment(from, to, TCP_PSH | TCP_ACK, data.mid(at, TCP_MAX_SEGMENT)));
    return out;
}

std::vector<Bytes> TcpFlow::clientSends(const Bytes& data) {
    return sendData(client_, server_, data);
}
std::vector<Bytes> TcpFlow::serverSends(const Bytes& data) {
    return sendData(server_, client_, data);
}

std::vector<Bytes> TcpFlow::close() {
    std::vector<Bytes> out;
    out.push_back(segment(client_, server_, TCP_FIN | TCP_ACK, Bytes()));
    out.push_back(segment(server_, client_, TCP_FIN | TCP_ACK, Bytes()));
    out.push_back(segment(client_, server_, TCP_ACK, Bytes()));
    return out;
}

PcapFile::~PcapFile() {
    close();
}

bool PcapFile::open(const std::string& path, std::string* error) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        *error = "cannot write pcap file '" + path + "'";
        return false;
    }
    Bytes header = pcapFileHeader();
    std::fwrite(header.constData(), 1, header.size(), file_);
    std::fflush(file_);
    return true;
}

void PcapFile::write(const std::vector<Bytes>& frames) {
    if (!file_) return;
    timeval now;
    gettimeofday(&now, nullptr);
    PcapTime t{static_cast<uint32_t>(now.tv_sec), static_cast<uint32_t>(now.tv_usec)};
    for (const Bytes& frame : frames) {
        Bytes record = pcapRecord(t, frame);
        std::fwrite(record.constData(), 1, record.size(), file_);
    }
    std::fflush(file_);
}

void PcapFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

} // namespace fhost
