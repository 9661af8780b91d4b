#include "platform/DynamicLibrary.h"

#include "platform/DebugOutput.h"

#include <dlfcn.h>
#include <string>

namespace kq::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* text = dlerror();
            *error = text ? text : "dlopen failed";
        }
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() {
    dlclose(handle_);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return dlsym(handle_, name);
}

void ReportMissingEntry(const char* name) {
    DebugOutput(std::string("Fehler: Kann ") + name + " nicht initialisieren\r\n");
}

void VendorLibrary::ReportUnloadable(const std::string& path) {
    DebugOutput("Fehler: Kann " + path + " nicht laden\r\n");
}

} // namespace kq::platform
