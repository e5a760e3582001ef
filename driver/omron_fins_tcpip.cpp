// The one driver object, the globals shared with the host, record copying, and the
// mirror of writes into the store.
#include <cstring>
#include <new>

#include "Func_GetOrSetData.h"
#include "driver_lock.h"
#include "driver_object.h"
#include "extend_store.h"
#include "handshake.h"

Omron_Fins_TcpIP_Series PLC_driver;
std::map<int, Check_Plc> map_list;
int plc_add_number = 0;
void* LB = nullptr;
void* LW = nullptr;
void* RWI = nullptr;

namespace {

void clearRecord(RW_VAR& v) {
    v.req_kind = v.req_id = v.access = v.link_mode = v.link_id = v.result = 0;
    v.reg_type = v.address = v.station = v.length = v.aux1 = v.aux2 = 0;
}

} // namespace

Omron_Fins_TcpIP_Series::Omron_Fins_TcpIP_Series()
    : com_info(nullptr), once_done_cb(nullptr), comm_fail_cb(nullptr), cur_kind(fins::LIST_NONE_YET),
      write_burst(0), once_burst(0), read_index(0), comm_failed(0) {
    clearRecord(cur_var);
    std::memset(cio_image, 0, sizeof cio_image);
    std::memset(w_image, 0, sizeof w_image);
    std::memset(h_image, 0, sizeof h_image);
    std::memset(a_image, 0, sizeof a_image);
    std::memset(t_pv_image, 0, sizeof t_pv_image);
    std::memset(c_pv_image, 0, sizeof c_pv_image);
    std::memset(d_image, 0, sizeof d_image);
    std::memset(t_flag_image, 0, sizeof t_flag_image);
    std::memset(c_flag_image, 0, sizeof c_flag_image);
    // map_list and plc_add_number are left alone: map_list is defined after PLC_driver
    // and is not yet constructed when this runs at load; ResetDriverState resets both.
}

void passRetValue(RW_VAR const& source, RW_VAR& target) {
    target.req_kind = source.req_kind;
    target.req_id = source.req_id;
    target.access = source.access;
    target.link_mode = source.link_mode;
    target.link_id = source.link_id;
    target.result = source.result;
    target.name = source.name;
    target.addr_text = source.addr_text;
    target.reg_type = source.reg_type;
    target.address = source.address;
    target.station = source.station;
    target.length = source.length;
    target.aux1 = source.aux1;
    target.aux2 = source.aux2;
    target.value.clear();
}

void WriteDataToLocal(RW_VAR* var) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (!var || !d.com_info) return;
    DriverLock lock(d.data_mutex);
    applyWriteToStore(*var, d.com_info->multi_station != 0);
}

void ResetDriverState() {
    extendStore().reset();
    PLC_driver.~Omron_Fins_TcpIP_Series();
    new (&PLC_driver) Omron_Fins_TcpIP_Series();
    map_list.clear();
    plc_add_number = 0;
    LB = LW = RWI = nullptr;
    ResetHmiAddress();
}
