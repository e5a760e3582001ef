// The records shared with the host are laid out by declaration; these checks pin
// that layout on every target, 32-bit ARM (4-byte pointers) and x86_64 alike.
#include <cstddef>

#include "omron_fins_tcpip.h"

#define AT_INT(T, m, n) static_assert(offsetof(T, m) == (n) * sizeof(int), #T "::" #m)

namespace {

constexpr std::size_t P = sizeof(void*); // QString and QByteArray are one pointer wide
static_assert(sizeof(QString) == P && sizeof(QByteArray) == P, "Qt values are one pointer");
static_assert(sizeof(int) == 4, "int is 32-bit");

// RW_VAR: six ints, two strings, six ints, one byte array.
constexpr std::size_t kName = (6 * 4 + P - 1) / P * P;
constexpr std::size_t kRegType = kName + 2 * P;
static_assert(offsetof(RW_VAR, req_kind) == 0, "RW_VAR::req_kind");
static_assert(offsetof(RW_VAR, req_id) == 4, "RW_VAR::req_id");
static_assert(offsetof(RW_VAR, access) == 8, "RW_VAR::access");
static_assert(offsetof(RW_VAR, link_mode) == 12, "RW_VAR::link_mode");
static_assert(offsetof(RW_VAR, link_id) == 16, "RW_VAR::link_id");
static_assert(offsetof(RW_VAR, result) == 20, "RW_VAR::result");
static_assert(offsetof(RW_VAR, name) == kName, "RW_VAR::name");
static_assert(offsetof(RW_VAR, addr_text) == kName + P, "RW_VAR::addr_text");
static_assert(offsetof(RW_VAR, reg_type) == kRegType, "RW_VAR::reg_type");
static_assert(offsetof(RW_VAR, address) == kRegType + 4, "RW_VAR::address");
static_assert(offsetof(RW_VAR, station) == kRegType + 8, "RW_VAR::station");
static_assert(offsetof(RW_VAR, length) == kRegType + 12, "RW_VAR::length");
static_assert(offsetof(RW_VAR, aux1) == kRegType + 16, "RW_VAR::aux1");
static_assert(offsetof(RW_VAR, aux2) == kRegType + 20, "RW_VAR::aux2");
constexpr std::size_t kValue = (kRegType + 24 + P - 1) / P * P;
static_assert(offsetof(RW_VAR, value) == kValue, "RW_VAR::value");
static_assert(sizeof(RW_VAR) == kValue + P, "RW_VAR size");

// Protocol: frame, four ints, the embedded RW_VAR, three ints.
constexpr std::size_t kVar = (P + 16 + alignof(RW_VAR) - 1) / alignof(RW_VAR) * alignof(RW_VAR);
static_assert(offsetof(Protocol, frame) == 0, "Protocol::frame");
static_assert(offsetof(Protocol, send_len) == P, "Protocol::send_len");
static_assert(offsetof(Protocol, reply_len) == P + 4, "Protocol::reply_len");
static_assert(offsetof(Protocol, p_aux1) == P + 8, "Protocol::p_aux1");
static_assert(offsetof(Protocol, p_aux2) == P + 12, "Protocol::p_aux2");
static_assert(offsetof(Protocol, var) == kVar, "Protocol::var");
static_assert(offsetof(Protocol, p_aux3) == kVar + sizeof(RW_VAR), "Protocol::p_aux3");
static_assert(offsetof(Protocol, p_aux4) == kVar + sizeof(RW_VAR) + 4, "Protocol::p_aux4");
static_assert(offsetof(Protocol, p_aux5) == kVar + sizeof(RW_VAR) + 8, "Protocol::p_aux5");

// COM_INFO: member N at byte 4 * N, 19 words.
AT_INT(COM_INFO, max_block, 4);
AT_INT(COM_INFO, default_station, 6);
AT_INT(COM_INFO, retry_limit, 7);
AT_INT(COM_INFO, retry_count, 8);
AT_INT(COM_INFO, multi_station, 9);
AT_INT(COM_INFO, offline, 10);
AT_INT(COM_INFO, frames_total, 11);
AT_INT(COM_INFO, frames_done, 12);
AT_INT(COM_INFO, com_state, 13);
AT_INT(COM_INFO, remote_mode, 14);
AT_INT(COM_INFO, local_link, 15);
AT_INT(COM_INFO, run_mode, 16);
AT_INT(COM_INFO, cycle_done, 17);
AT_INT(COM_INFO, cb_context, 18);
static_assert(sizeof(COM_INFO) == 19 * 4, "COM_INFO holds 19 words");

// Check_Plc: three bytes.
static_assert(offsetof(Check_Plc, hs_done) == 0, "Check_Plc::hs_done");
static_assert(offsetof(Check_Plc, plc_node) == 1, "Check_Plc::plc_node");
static_assert(offsetof(Check_Plc, hmi_node) == 2, "Check_Plc::hmi_node");
static_assert(sizeof(Check_Plc) == 3, "Check_Plc size");

// VAR_DESC: host bytes, reg_type, station, host word, then the two strings and the length.
static_assert(offsetof(VAR_DESC, reg_type) == 1, "VAR_DESC::reg_type");
static_assert(offsetof(VAR_DESC, station) == 2, "VAR_DESC::station");
static_assert(offsetof(VAR_DESC, addr_text) == 8, "VAR_DESC::addr_text");
static_assert(offsetof(VAR_DESC, name) == 8 + P, "VAR_DESC::name");
static_assert(offsetof(VAR_DESC, length) == 8 + 2 * P, "VAR_DESC::length");

// The image arrays: 99,250 bytes in the order of the areas.
static_assert(
    sizeof(Omron_Fins_TcpIP_Series::cio_image) + sizeof(Omron_Fins_TcpIP_Series::w_image) +
            sizeof(Omron_Fins_TcpIP_Series::h_image) + sizeof(Omron_Fins_TcpIP_Series::a_image) +
            sizeof(Omron_Fins_TcpIP_Series::t_pv_image) +
            sizeof(Omron_Fins_TcpIP_Series::c_pv_image) + sizeof(Omron_Fins_TcpIP_Series::d_image) +
            sizeof(Omron_Fins_TcpIP_Series::t_flag_image) +
            sizeof(Omron_Fins_TcpIP_Series::c_flag_image) ==
        99250,
    "image arrays");

} // namespace
