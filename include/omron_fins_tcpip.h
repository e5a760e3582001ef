// Declarations shared with the HMI host runtime: the records it exchanges with the
// driver, the driver object and the entry points it resolves by their plain names.
// Member order and member types of RW_VAR, Protocol, COM_INFO and VAR_DESC are part
// of the binary interface: never reorder, insert or retype a member.
#ifndef OMRON_FINS_TCPIP_H
#define OMRON_FINS_TCPIP_H

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <map>

// One host variable or request.
struct RW_VAR {
    int req_kind;  // requester kind: error-code offset, one-shot identity
    int req_id;    // requester id: one-shot identity
    int access;    // 0 read, 1 write
    int link_mode; // copy of COM_INFO.remote_mode at creation
    int link_id;   // equal to COM_INFO.local_link for local-area replies
    int result;    // result code of the last reply evaluation
    QString name;
    QString addr_text;
    int reg_type; // register-type code
    int address;  // numeric address
    int station;  // PLC station number, key of map_list
    int length;   // element count
    int aux1;     // carried in remote-mode frames
    int aux2;
    QByteArray value; // host-order value bytes of a write
};

// One request frame queued for the host to send.
struct Protocol {
    QByteArray frame;
    int send_len;  // bytes to send, the size of frame
    int reply_len; // expected reply length; -1 accepts any length
    int p_aux1;    // offset of the first data byte in the reply
    int p_aux2;    // number of data bytes expected in the reply
    RW_VAR var;    // copy of the variable the frame serves
    int p_aux3;
    int p_aux4;
    int p_aux5;
};

// The host's communication block; member N sits at byte 4 * N.
struct COM_INFO {
    int host_word0; // words 0 to 3 and 5 belong to the host
    int host_word1;
    int host_word2;
    int host_word3;
    int max_block; // largest element count one frame may carry
    int host_word5;
    int default_station;
    int retry_limit;
    int retry_count;
    int multi_station;
    int offline;
    int frames_total;
    int frames_done;
    int com_state;
    int remote_mode;
    int local_link;
    int run_mode; // 2: host writes are sent to the PLC
    int cycle_done;
    int cb_context;
};

// The host's description of a variable to read cyclically.
struct VAR_DESC {
    unsigned char host_byte0; // host members the driver does not read
    unsigned char reg_type;
    unsigned char station;
    unsigned char host_byte3;
    int host_word1;
    QString addr_text;
    QString name;
    int length;
};

// One stored word, or group of eight completion flags, of one station.
struct EXTENDVAR {
    int ext_station;
    int ext_type;
    int ext_address;
    QByteArray ext_value;
};

// FINS node state of one PLC station.
struct Check_Plc {
    unsigned char hs_done;
    unsigned char plc_node;
    unsigned char hmi_node;
};

typedef void (*OnceDoneCallback)(int cb_context, int req_kind, int req_id, int status);
typedef void (*CommFailCallback)(QList<RW_VAR>* vars, int req_kind, int flag);

// Image capacities in elements (words, or bytes of eight flags).
enum {
    CIO_IMAGE_WORDS = 6150,
    W_IMAGE_WORDS = 515,
    H_IMAGE_WORDS = 515,
    A_IMAGE_WORDS = 960,
    T_PV_IMAGE_WORDS = 4100,
    C_PV_IMAGE_WORDS = 4100,
    D_IMAGE_WORDS = 32770,
    T_FLAG_IMAGE_BYTES = 515,
    C_FLAG_IMAGE_BYTES = 515
};

class Omron_Fins_TcpIP_Series {
  public:
    Omron_Fins_TcpIP_Series();

    COM_INFO* com_info;
    QList<RW_VAR> read_list;
    QList<RW_VAR> write_list;
    QList<RW_VAR> once_list;
    QList<Protocol> protocol_list;
    QList<EXTENDVAR> extend_list;
    OnceDoneCallback once_done_cb;
    CommFailCallback comm_fail_cb;
    QMutex list_mutex;
    QMutex data_mutex;
    RW_VAR cur_var;
    int cur_kind; // 0 cyclic read list, 1 write queue, 2 one-shot queue, 100 none yet
    int write_burst;
    int once_burst;
    int read_index;
    unsigned char comm_failed;
    unsigned short cio_image[CIO_IMAGE_WORDS];
    unsigned short w_image[W_IMAGE_WORDS];
    unsigned short h_image[H_IMAGE_WORDS];
    unsigned short a_image[A_IMAGE_WORDS];
    unsigned short t_pv_image[T_PV_IMAGE_WORDS];
    unsigned short c_pv_image[C_PV_IMAGE_WORDS];
    unsigned short d_image[D_IMAGE_WORDS];
    unsigned char t_flag_image[T_FLAG_IMAGE_BYTES];
    unsigned char c_flag_image[C_FLAG_IMAGE_BYTES];

  private:
    Omron_Fins_TcpIP_Series(const Omron_Fins_TcpIP_Series&);
    Omron_Fins_TcpIP_Series& operator=(const Omron_Fins_TcpIP_Series&);
};

extern Omron_Fins_TcpIP_Series PLC_driver;
extern std::map<int, Check_Plc> map_list;
extern int plc_add_number;
extern void* LB;
extern void* LW;
extern void* RWI;

// Entry points, resolved by the host under these plain names. Register types, result
// codes and list kinds are named in omron_fins_results.h. Unless a contract says so,
// an entry point called before SetComInfo, or with a missing pointer, does nothing and
// returns 0; no entry point lets an exception out. Counters go on the wire 0x8000 above
// timers in one address field: counter addresses from 0x8000 reach the timers (C32768
// is T0 to the PLC).
extern "C" {
// Hands over the host's communication block (kept, not copied): sets com_state 0 and
// offline 1. A null block is ignored.
void SetComInfo(COM_INFO* info);
// Registers the notices. Both run inside DataCom (or ComCommunication) with list_mutex
// held: they may read the store, but must not call an entry point that takes
// list_mutex (every list, queue and screen operation). comm_fail is called once per
// given-up exchange, with an empty list.
void RegistCallBackFuncIntf(OnceDoneCallback once_done, CommFailCallback comm_fail);
// Hands over the host's areas. LW must hold the panel's IPv4 address text at
// fins::HMI_ADDRESS_OFFSET; its last number is the node proposed in the node address
// exchange (100 until LW holds four dotted parts).
void FlashLocalRegister(void* lb, void* lw, void* rwi);
// Always 1.
int QueryFinishFlag();
// Appends the record to the cyclic read list as it is (no merging, no conversion).
// Returns the list's size.
int AddListReadVar(RW_VAR* var);
// Replaces the cyclic read list by block reads of the variables: neighbours of one
// station and area merged up to max_block elements. max_block 0 means no limit; above
// 499 (fins::MAX_FRAME_WORDS) a CP1L refuses the frames. Returns the list's size; a
// null or empty list empties it.
int ReCreatReadVarList(QList<VAR_DESC>* vars);
// Queues a write for the PLC. Unless direct is 1, a write to the place of a queued one
// (the head excepted) replaces it, and the queue stops growing at 1024. Returns the
// queue's size also when the write was merged or dropped.
int AddListWriteVar(RW_VAR* var, int direct);
// Queues a one-shot read. Unless direct is 1, the record is rewritten (address and
// length in read units, the last piece's values, station of a single-station host set
// to default_station) and split at max_block; pieces already waiting for the same
// requester are not queued again. Returns the queue's size also when pieces were
// merged or dropped; 0 for an unusable address text. The notice comes once per
// requester: success after its last piece, failure at once.
int AddListOnceReadVar(RW_VAR* var, int direct);
// Numeric address of an address text: word * 16 + bit for bit types ("100.05"), the
// plain number otherwise; -1 for a bit address without a point or one past an int.
int PLCAddressChangeIntef(int reg_type, QString addr_text);
// The frame to send next: the outstanding one until DataCom has judged its reply,
// else the next entry's (writes, one-shot reads, one cyclic read; five of a kind at
// most in a row). A station without a node pair is sent the node address exchange
// first. Null when nothing is to be sent (cycle_done is then set) or before SetComInfo.
Protocol* ComCommunication();
// Judges the reply to the outstanding frame (len 0 or a null reply: none came) and
// returns the record of what was served, its result set. Result 1 also when nothing
// was outstanding. 0: bad reply, the same frame is sent again (retry_count counts it;
// a good reply does not reset it: the host does). After retry_limit retries it gives
// up: result family + requester offset (omron_fins_results.h), the entry dropped,
// queued writes and the requester's other one-shot reads purged, comm_fail
// called, offline set, the node address exchange repeated. A refused node address
// exchange is 201 and is repeated without counting. FINS end codes are not judged: a
// write refused by the PLC is result 1. One comm_failed flag serves all stations.
// Purged are all queued writes, or in multi-station mode those of the failed station.
RW_VAR* DataCom(QByteArray* reply, int len);
// Screen read of count elements from the address text into buffer (grown when
// short): one byte (0/1) a bit or flag, two bytes (low first) a word. From the image,
// or in multi-station mode from the station's store (entries made on first read,
// reading 0). Returns 1, also for a count below 1 (nothing read); 0 for an unusable
// address text or a count no buffer can hold.
int GetRegisterData(QString* name, int reg_type, QString* addr_text, int station,
                    QByteArray* buffer, int count);
// Screen write of count elements from value. With run_mode 2 the write is queued for
// the PLC (bits one by one, words in pieces of max_block) and the queue's size
// returned; 0 when a piece cannot go on the wire (past the 16-bit FINS address space
// in FINS mode, or more words than one frame's item count). Any other run_mode writes
// the store only and returns 1. While communication has failed a queued write is
// also shown in the store at once.
int SetRegisterData(QString* name, int reg_type, QString* addr_text, int station, QByteArray* value,
                    int count, int req_kind, int req_id);
}

#endif
