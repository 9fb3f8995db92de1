#include "DesktopModule.h"

#include <dlfcn.h>

#include <string>

#include "Host.h"

namespace pellomar::platform {

namespace {

const DesktopModule& loadDesktopModule() {
    const std::string path = (executableDirectory() / kDesktopModuleFile).string();
    // RTLD_LOCAL: the module's copies of the engine and of this layer stay its own.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* error = handle == nullptr ? ::dlerror() : nullptr;
    using Entry = const DesktopModule* (*)();
    auto entry =
        handle ? reinterpret_cast<Entry>(::dlsym(handle, "pellomar_desktop_module")) : nullptr;
    if (entry == nullptr) {
        throw MorvantError(ErrorNumber::FileNotFound,
                           "the desktop front end cannot be loaded: " +
                               std::string(error ? error : path + " has no entry point"));
    }
    return *entry();
}

}  // namespace

const DesktopModule& desktopModule() {
    static const DesktopModule& module = loadDesktopModule();
    return module;
}

}  // namespace pellomar::platform
