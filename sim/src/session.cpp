#include "plcsim/session.h"

#include "byte_io.h"
#include "plcsim/fins_handler.h"
#include "plcsim/remote_handler.h"

namespace plcsim {

namespace {

constexpr uint32_t CMD_NODE_ADDRESS_SEND = 0;
constexpr uint32_t CMD_NODE_ADDRESS_REPLY = 1;
constexpr uint32_t CMD_FRAME_SEND = 2;
constexpr uint32_t CMD_FRAME_ERROR = 3;
constexpr uint32_t MAX_CLIENT_NODE = 254;

SessionOutput tcpError(const char* command, uint32_t replyCommand, uint32_t code, bool close) {
    SessionOutput o;
    o.reply = finsTcpFrame(replyCommand, code, {});
    o.closeAfter = close;
    o.info.command = command;
    o.info.tcpError = code;
    return o;
}

} // namespace

FinsSession::FinsSession(PlcMemory& memory, uint8_t serverNode, uint8_t autoNode)
    : FinsSession(memory, serverNode, FINS_MAX_MESSAGE, [autoNode](uint32_t proposed) {
          return NodeGrant{TCP_OK, static_cast<uint8_t>(proposed ? proposed : autoNode), false};
      }) {}

FinsSession::FinsSession(PlcMemory& memory, uint8_t serverNode, size_t messageLimit,
                         NodeGrantFn grant)
    : memory_(memory), serverNode_(serverNode), messageLimit_(messageLimit),
      grant_(std::move(grant)) {}

void FinsSession::feed(const uint8_t* data, size_t size, std::vector<SessionOutput>* out) {
    if (finished_) return;
    framer_.feed(data, size);
    FinsTcpFrame frame;
    for (;;) {
        switch (framer_.next(&frame)) {
        case FinsTcpFramer::Result::NeedMore:
            return;
        case FinsTcpFramer::Result::Frame:
            out->push_back(handleFrame(frame));
            if (finished_) return; // refused and closed: nothing after it is read
            break;
        case FinsTcpFramer::Result::BadMagic:
        case FinsTcpFramer::Result::LengthTooShort:
            finished_ = true;
            out->push_back(tcpError("bad-header", CMD_FRAME_ERROR, TCP_BAD_MAGIC, true));
            return;
        case FinsTcpFramer::Result::LengthTooLong:
            finished_ = true;
            out->push_back(tcpError("bad-length", CMD_FRAME_ERROR, TCP_LENGTH_TOO_LONG, true));
            return;
        }
    }
}

SessionOutput FinsSession::handleFrame(const FinsTcpFrame& frame) {
    if (frame.command == CMD_NODE_ADDRESS_SEND) return handleNodeAddress(frame);
    if (frame.command != CMD_FRAME_SEND)
        return tcpError("tcp-command", CMD_FRAME_ERROR, TCP_UNSUPPORTED_COMMAND, false);
    if (clientNode_ < 0)
        return tcpError("no-node", CMD_FRAME_ERROR, TCP_UNSUPPORTED_COMMAND, false);
    SessionOutput o;
    const auto response =
        handleFinsMessage(memory_, frame.payload.data(), frame.payload.size(),
                          static_cast<uint8_t>(clientNode_), serverNode_, &o.info, messageLimit_);
    o.reply = finsTcpFrame(CMD_FRAME_SEND, TCP_OK, response);
    o.endCodeAt = FINS_END_CODE_IN_FRAME;
    return o;
}

SessionOutput FinsSession::handleNodeAddress(const FinsTcpFrame& frame) {
    if (frame.payload.size() != 4)
        return tcpError("node", CMD_NODE_ADDRESS_REPLY, TCP_UNSUPPORTED_COMMAND, false);
    const uint32_t proposed = Reader(frame.payload.data(), 4).u32(0);
    NodeGrant grant;
    if (proposed > MAX_CLIENT_NODE)
        grant.tcpError = TCP_NODE_OUT_OF_RANGE;
    else if (proposed == serverNode_)
        grant.tcpError = TCP_NODE_IS_SERVER;
    else
        grant = grant_(proposed);
    if (grant.tcpError != TCP_OK) {
        SessionOutput refused =
            tcpError("node", CMD_NODE_ADDRESS_REPLY, grant.tcpError, grant.close);
        refused.info.address = proposed; // the log shows which node was refused
        finished_ = grant.close;
        return refused;
    }
    clientNode_ = grant.node;
    std::vector<uint8_t> body;
    putU32(body, static_cast<uint32_t>(clientNode_));
    putU32(body, serverNode_);
    SessionOutput o;
    o.reply = finsTcpFrame(CMD_NODE_ADDRESS_REPLY, TCP_OK, body);
    o.info.command = "node";
    o.info.address = proposed;
    o.info.count = static_cast<uint32_t>(clientNode_);
    return o;
}

RemoteSession::RemoteSession(PlcMemory& memory) : memory_(memory) {}

void RemoteSession::feed(const uint8_t* data, size_t size, std::vector<SessionOutput>* out) {
    framer_.feed(data, size);
    std::vector<uint8_t> request;
    while (framer_.next(&request)) {
        SessionOutput o;
        o.reply = handleRemoteRequest(memory_, request.data(), request.size(), &o.info);
        out->push_back(std::move(o));
    }
}

} // namespace plcsim
