#include "driver_api.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#ifndef FINS_DRIVER_BUILD_PATH
#define FINS_DRIVER_BUILD_PATH ""
#endif
// Where an install puts the driver, relative to the folder of fins-host.
#ifndef FINS_DRIVER_INSTALLED_PATH
#define FINS_DRIVER_INSTALLED_PATH ""
#endif

namespace fhost {

namespace {

const char kLibraryName[] = "libomron_fins_tcpip.so";

template <typename Fn> bool resolve(void* handle, const char* name, Fn* out, std::string* error) {
    void* symbol = dlsym(handle, name);
    if (!symbol) {
        *error = std::string("the driver has no entry point ") + name;
        return false;
    }
    *out = reinterpret_cast<Fn>(symbol);
    return true;
}

std::string executableFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

bool readable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

} // namespace

bool DriverApi::load(const std::string& file, std::string* error) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        *error = "cannot load driver '" + file + "': " + (why ? why : "unknown error");
        return false;
    }
    path = file;
    return resolve(handle, "SetComInfo", &SetComInfo, error) &&
           resolve(handle, "RegistCallBackFuncIntf", &RegistCallBackFuncIntf, error) &&
           resolve(handle, "FlashLocalRegister", &FlashLocalRegister, error) &&
           resolve(handle, "QueryFinishFlag", &QueryFinishFlag, error) &&
           resolve(handle, "ReCreatReadVarList", &ReCreatReadVarList, error) &&
           resolve(handle, "AddListOnceReadVar", &AddListOnceReadVar, error) &&
           resolve(handle, "ComCommunication", &ComCommunication, error) &&
           resolve(handle, "DataCom", &DataCom, error) &&
           resolve(handle, "GetRegisterData", &GetRegisterData, error) &&
           resolve(handle, "SetRegisterData", &SetRegisterData, error);
}

std::string defaultDriverPath() {
    const std::string folder = executableFolder();
    // The installed place comes before the build tree's, so an installed fins-host
    // never picks up a library of a build tree that happens to exist.
    const std::string installed = FINS_DRIVER_INSTALLED_PATH;
    const std::string candidates[] = {folder + "/" + kLibraryName, folder + "/../" + kLibraryName,
                                      installed.empty() ? "" : folder + "/" + installed,
                                      FINS_DRIVER_BUILD_PATH};
    for (const std::string& c : candidates)
        if (!c.empty() && readable(c)) return c;
    return folder + "/" + kLibraryName;
}

} // namespace fhost
