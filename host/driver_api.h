// The driver's host entry points, resolved by their plain names from the shared
// library at run time, the way a panel runtime loads a communication driver.
#ifndef FINS_HOST_DRIVER_API_H
#define FINS_HOST_DRIVER_API_H

#include <string>

#include "omron_fins_tcpip.h"

namespace fhost {

struct DriverApi {
    decltype(&::SetComInfo) SetComInfo = nullptr;
    decltype(&::RegistCallBackFuncIntf) RegistCallBackFuncIntf = nullptr;
    decltype(&::FlashLocalRegister) FlashLocalRegister = nullptr;
    decltype(&::QueryFinishFlag) QueryFinishFlag = nullptr;
    decltype(&::ReCreatReadVarList) ReCreatReadVarList = nullptr;
    decltype(&::AddListOnceReadVar) AddListOnceReadVar = nullptr;
    decltype(&::ComCommunication) ComCommunication = nullptr;
    decltype(&::DataCom) DataCom = nullptr;
    decltype(&::GetRegisterData) GetRegisterData = nullptr;
    decltype(&::SetRegisterData) SetRegisterData = nullptr;

    std::string path; // the file that was loaded

    // dlopen + dlsym of every entry point above; the library stays loaded for the
    // life of the process, as it does in a panel runtime.
    bool load(const std::string& file, std::string* error);
};

// The driver next to the executable, then one folder up (the build tree), then the
// path the build recorded.
std::string defaultDriverPath();

} // namespace fhost

#endif
