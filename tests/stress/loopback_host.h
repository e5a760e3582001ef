// A minimal host communication loop for tests: one TCP connection to a PLC (the
// simulator on loopback), ComCommunication, send, receive, DataCom.
//
// Receiving: the 16-byte FINS/TCP header, then as many bytes as its length field
// announces, then whatever else already arrived with them (so a reply with extra bytes
// is handed over whole). A timeout, a closed connection or an unusable length field
// ends the exchange with the bytes received so far, and the connection is closed so
// the next exchange starts on a clean stream; the next exchange connects again.
#ifndef LOOPBACK_HOST_H
#define LOOPBACK_HOST_H

#include <QByteArray>

#include <cstdint>
#include <string>

enum class Transport { None, Ok, Timeout, Closed, Refused, BadLength };

struct Exchange {
    bool sent = false;  // false: ComCommunication had nothing to send
    int frame_size = 0; // bytes sent
    QByteArray reply;   // bytes received and handed to DataCom
    Transport transport = Transport::None;
    int result = -1; // cur_var.result after DataCom
};

class LoopbackHost {
  public:
    LoopbackHost(uint16_t port, int timeout_ms) : port_(port), timeout_ms_(timeout_ms) {}
    ~LoopbackHost() { disconnect(); }
    LoopbackHost(const LoopbackHost&) = delete;
    LoopbackHost& operator=(const LoopbackHost&) = delete;

    // One turn of the communication loop.
    Exchange turn();
    void disconnect();
    int connects() const { return connects_; }

  private:
    bool connectToPlc();
    Transport receive(QByteArray& reply);
    Transport readExactly(QByteArray& reply, int n);

    uint16_t port_;
    int timeout_ms_;
    int fd_ = -1;
    int connects_ = 0;
};

const char* transportName(Transport t);

#endif
