#include "platform/LazyLibrary.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace {

struct TLoaded {
    void* Handle = nullptr;
    std::string Error;
};

std::mutex Lock;
std::map<std::string, TLoaded>& Libraries()
{
    static std::map<std::string, TLoaded> libraries;
    return libraries;
}

} // namespace

void* LazySymbol(const char* soname, const char* name)
{
    std::lock_guard lock(Lock);
    auto [it, added] = Libraries().try_emplace(soname);
    TLoaded& library = it->second;
    if (added) {
        library.Handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (!library.Handle) {
            const char* why = dlerror();
            library.Error = std::string("the library ") + soname + " cannot be loaded" + (why ? std::string(": ") + why : "");
        }
    }
    return library.Handle ? dlsym(library.Handle, name) : nullptr;
}

std::string LazyLoadError(const char* soname)
{
    std::lock_guard lock(Lock);
    const auto it = Libraries().find(soname);
    return it == Libraries().end() ? std::string() : it->second.Error;
}
