#include "pcap_writer.h"

#include <sys/time.h>

#include <algorithm>

namespace fhost {

namespace {

const size_t kEthernetHeader = 14, kIpHeader = 20, kTcpHeader = 20;

void putU16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void putU32(Bytes& out, uint32_t v) {
    putU16(out, v >> 16);
    putU16(out, v & 0xFFFFu);
}
// pcap headers are written little-endian, with the magic telling readers so.
void putLe32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putLe16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void putMac(Bytes& out, uint8_t last) {
    const uint8_t prefix[] = {0x02, 0x00, 0x00, 0x00, 0x00}; // locally administered
    out.insert(out.end(), prefix, prefix + sizeof prefix);
    out.push_back(last);
}
void patchU16(Bytes& out, size_t pos, uint16_t v) {
    out[pos] = static_cast<uint8_t>(v >> 8);
    out[pos + 1] = static_cast<uint8_t>(v);
}

uint32_t sumWords(const uint8_t* data, size_t size, uint32_t sum) {
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += (uint32_t(data[i]) << 8) | data[i + 1];
    if (size & 1) sum += uint32_t(data[size - 1]) << 8;
    return sum;
}

} // namespace

uint16_t internetChecksum(const uint8_t* data, size_t size, uint32_t initial) {
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
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

Bytes tcpFrame(uint32_t src_ip, uint16_t src_port, uint8_t src_mac_last, uint32_t dst_ip,
               uint16_t dst_port, uint8_t dst_mac_last, uint32_t seq, uint32_t ack, uint8_t flags,
               uint16_t ip_id, const uint8_t* data, size_t size) {
    Bytes out;
    out.reserve(kEthernetHeader + kIpHeader + kTcpHeader + size);
    putMac(out, dst_mac_last);
    putMac(out, src_mac_last);
    putU16(out, 0x0800); // IPv4

    const size_t ip_at = out.size();
    out.push_back(0x45); // version 4, 5 words of header
    out.push_back(0x00);
    putU16(out, static_cast<uint32_t>(kIpHeader + kTcpHeader + size));
    putU16(out, ip_id);
    putU16(out, 0x4000); // don't fragment
    out.push_back(64);   // TTL
    out.push_back(6);    // TCP
    putU16(out, 0);      // checksum, patched below
    putU32(out, src_ip);
    putU32(out, dst_ip);
    patchU16(out, ip_at + 10, internetChecksum(&out[ip_at], kIpHeader));

    const size_t tcp_at = out.size();
    putU16(out, src_port);
    putU16(out, dst_port);
    putU32(out, seq);
    putU32(out, (flags & TCP_ACK) ? ack : 0);
    out.push_back(0x50); // 5 words of header, no options
    out.push_back(flags);
    putU16(out, 65535); // window
    putU16(out, 0);     // checksum, patched below
    putU16(out, 0);     // urgent pointer
    out.insert(out.end(), data, data + size);

    Bytes pseudo;
    putU32(pseudo, src_ip);
    putU32(pseudo, dst_ip);
    putU16(pseudo, 6);
    putU16(pseudo, static_cast<uint32_t>(kTcpHeader + size));
    uint32_t initial = sumWords(pseudo.data(), pseudo.size(), 0);
    patchU16(out, tcp_at + 16, internetChecksum(&out[tcp_at], kTcpHeader + size, initial));
    return out;
}

TcpFlow::TcpFlow(uint32_t client_ip, uint16_t client_port, uint32_t server_ip, uint16_t server_port,
                 uint32_t client_isn, uint32_t server_isn)
    : client_{client_ip, client_port, client_isn, 1, 0x01}, server_{server_ip, server_port,
                                                                    server_isn, 1, 0x02} {}

Bytes TcpFlow::segment(Side& from, const Side& to, uint8_t flags, const uint8_t* data,
                       size_t size) {
    Bytes frame = tcpFrame(from.ip, from.port, from.mac_last, to.ip, to.port, to.mac_last, from.seq,
                           to.seq, flags, from.ip_id++, data, size);
    from.seq += static_cast<uint32_t>(size);
    if (flags & (TCP_SYN | TCP_FIN)) from.seq += 1; // SYN and FIN take one sequence number
    return frame;
}

std::vector<Bytes> TcpFlow::open() {
    std::vector<Bytes> out;
    out.push_back(segment(client_, server_, TCP_SYN, nullptr, 0));
    out.push_back(segment(server_, client_, TCP_SYN | TCP_ACK, nullptr, 0));
    out.push_back(segment(client_, server_, TCP_ACK, nullptr, 0));
    return out;
}

std::vector<Bytes> TcpFlow::sendData(Side& from, const Side& to, const Bytes& data) {
    std::vector<Bytes> out;
    for (size_t at = 0; at < data.size(); at += TCP_MAX_SEGMENT) {
        const size_t n = std::min<size_t>(data.size() - at, TCP_MAX_SEGMENT);
        out.push_back(segment(from, to, TCP_PSH | TCP_ACK, data.data() + at, n));
    }
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
    out.push_back(segment(client_, server_, TCP_FIN | TCP_ACK, nullptr, 0));
    out.push_back(segment(server_, client_, TCP_FIN | TCP_ACK, nullptr, 0));
    out.push_back(segment(client_, server_, TCP_ACK, nullptr, 0));
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
    std::fwrite(header.data(), 1, header.size(), file_);
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
        std::fwrite(record.data(), 1, record.size(), file_);
    }
    std::fflush(file_);
}

void PcapFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

} // namespace fhost
