// The vocabulary a host shares with the driver: register-type codes, the result codes
// of the record DataCom returns, their families, and the requester a give-up names.
// Header only; nothing here is exported by the library.
#ifndef OMRON_FINS_RESULTS_H
#define OMRON_FINS_RESULTS_H

namespace fins {

// VAR_DESC.reg_type / RW_VAR.reg_type: what the address names in the PLC.
enum RegisterType : int {
    REG_CIO_BIT = 0,
    REG_W_BIT = 1,
    REG_H_BIT = 2,
    REG_A_BIT = 3,
    REG_D_BIT = 4,
    REG_TIMER_FLAG = 5,   // timer completion flags
    REG_COUNTER_FLAG = 6, // counter completion flags
    REG_CIO_WORD = 7,
    REG_W_WORD = 8,
    REG_H_WORD = 9,
    REG_A_WORD = 10,
    REG_D_WORD = 11,
    REG_TIMER_PV = 12,   // timer present values
    REG_COUNTER_PV = 13, // counter present values
    REG_TYPE_COUNT = 14  // codes at or past this name no PLC area
};

// A bit type addresses word * 16 + bit; its host buffers hold one byte (0 or 1) a bit.
constexpr bool isBitType(int reg_type) { return reg_type >= REG_CIO_BIT && reg_type <= REG_D_BIT; }
// A flag type addresses a timer or counter number; one byte (0 or 1) a flag.
constexpr bool isFlagType(int reg_type) {
    return reg_type == REG_TIMER_FLAG || reg_type == REG_COUNTER_FLAG;
}
// A word type addresses a word number; two bytes a word in host buffers, low byte first.
constexpr bool isWordType(int reg_type) {
    return reg_type >= REG_CIO_WORD && reg_type <= REG_COUNTER_PV;
}

// RW_VAR.result as DataCom reports it.
enum ResultCode : int {
    RESULT_SENT_AGAIN = 0,          // bad reply: the same frame is sent again next turn
    RESULT_GOOD = 1,                // good reply (also when nothing was outstanding)
    RESULT_GOOD_REMOTE = 100,       // good reply to a remote-area request
    RESULT_NOT_EVALUATED = 200,     // set on a record before its reply is judged
    RESULT_HANDSHAKE_REFUSED = 201, // node address exchange refused; repeated, not counted
};

// A given-up exchange reports family + requester offset (1..12); a remote-area request
// adds RESULT_REMOTE_AREA to the family.
enum ResultFamily : int {
    FAMILY_REFUSED = 10,      // FINS/TCP error code, or an unknown direction
    FAMILY_NO_REPLY = 40,     // no reply where one was expected
    FAMILY_WRONG_LENGTH = 70, // a reply of another length than expected
};
constexpr int RESULT_REMOTE_AREA = 100;
constexpr int REQUESTER_OFFSET_MAX = 12;

constexpr bool isGood(int result) { return result == RESULT_GOOD || result == RESULT_GOOD_REMOTE; }

// True when the driver gave the exchange up after its retries.
constexpr bool isGivenUp(int result) {
    const int local = result > RESULT_REMOTE_AREA ? result - RESULT_REMOTE_AREA : result;
    return result != RESULT_NOT_EVALUATED && result != RESULT_HANDSHAKE_REFUSED &&
           local > FAMILY_REFUSED && local <= FAMILY_WRONG_LENGTH + REQUESTER_OFFSET_MAX &&
           (local - FAMILY_REFUSED) % 30 >= 1 && (local - FAMILY_REFUSED) % 30 <= REQUESTER_OFFSET_MAX;
}

// The family of a given-up result (FAMILY_*), or 0 when the result is no give-up.
constexpr int familyOf(int result) {
    if (!isGivenUp(result)) return 0;
    const int local = result > RESULT_REMOTE_AREA ? result - RESULT_REMOTE_AREA : result;
    return FAMILY_REFUSED + (local - FAMILY_REFUSED) / 30 * 30;
}

// True when a given-up result came from a remote-area request.
constexpr bool isRemoteArea(int result) { return isGivenUp(result) && result > RESULT_REMOTE_AREA; }

// The req_kind of the entry a given-up result names (offset 1..12 is req_kind + 1;
// kinds outside 0..11 report offset 1), or -1 when the result is no give-up.
constexpr int requesterKindOf(int result) {
    if (!isGivenUp(result)) return -1;
    const int local = result > RESULT_REMOTE_AREA ? result - RESULT_REMOTE_AREA : result;
    return local - familyOf(result) - 1;
}

// The list the outstanding frame came from (the driver's cur_kind).
enum ListKind : int { LIST_READ = 0, LIST_WRITE = 1, LIST_ONCE = 2, LIST_NONE_YET = 100 };

// Status passed to the one-shot read notice.
enum OnceStatus : int { ONCE_SUCCEEDED = 1, ONCE_FAILED = 2 };

// Where the host keeps the panel's IPv4 address text in the LW area it hands over with
// FlashLocalRegister, and the room it has; the text's last number is the FINS node the
// panel proposes in the node address exchange.
enum : int { HMI_ADDRESS_OFFSET = 122400, HMI_ADDRESS_BYTES = 16 };

} // namespace fins

#endif
