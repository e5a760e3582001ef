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

extern "C" {
void SetComInfo(COM_INFO* info);
void RegistCallBackFuncIntf(OnceDoneCallback once_done, CommFailCallback comm_fail);
void FlashLocalRegister(void* lb, void* lw, void* rwi);
int QueryFinishFlag();
int AddListReadVar(RW_VAR* var);
int ReCreatReadVarList(QList<VAR_DESC>* vars);
int AddListWriteVar(RW_VAR* var, int direct);
int AddListOnceReadVar(RW_VAR* var, int direct);
int PLCAddressChangeIntef(int reg_type, QString addr_text);
Protocol* ComCommunication();
RW_VAR* DataCom(QByteArray* reply, int len);
int GetRegisterData(QString* name, int reg_type, QString* addr_text, int station,
                    QByteArray* buffer, int count);
int SetRegisterData(QString* name, int reg_type, QString* addr_text, int station, QByteArray* value,
                    int count, int req_kind, int req_id);
}

#endif
