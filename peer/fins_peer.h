// What only the driver's peers need: the PLC side of FINS (a node address reply, the
// reply to a command), texts for end codes and FINS/TCP error codes, the tag-file
// mnemonics and the area sizes of a CP1L. The host, the bench, the fuzz targets and the
// tests link it; the driver's shared library does not.
#ifndef FINS_PEER_H
#define FINS_PEER_H

#include <QByteArray>

#include "fins_codec.h"

namespace fins {

// A PLC's answers, for the tools and tests that stand in for one: the node address
// reply, and the reply to a FINS command (header turned round, MRC/SRC echoed, end
// code, data). An unreadable request gets a reply with zero nodes and codes.
QByteArray nodeAddressReply(quint32 client_node, quint32 server_node, quint32 error = 0);
QByteArray commandReply(const QByteArray& request, quint16 end_code, const QByteArray& data);

// What an end code means, for people ("read-only area", "address out of range").
const char* endCodeText(unsigned end_code);
// What a FINS/TCP error code means.
const char* tcpErrorText(quint32 code);

// A register type as a tag file writes it: "CIO.bit", "D", "T.flag"; "?" for no type.
const char* mnemonicOf(int reg_type);
// Entry for a mnemonic (case-insensitive), or nullptr.
const RegType* regTypeByMnemonic(const QByteArray& mnemonic);
// Size of a type's area in a CP1L with 30 or more I/O points: words, timers or
// counters (bit types: the words holding their bits); 0 for no type.
int cp1lAreaSize(int reg_type);

} // namespace fins

#endif
