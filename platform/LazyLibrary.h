#pragma once
// Shared libraries loaded when first used rather than when the program starts (see
// platform/AvLibraries.cpp, platform/SdlLibrary.cpp): a library's functions are defined in the
// program with the header's own signatures, and the first call of each looks the real one up.
// A library that cannot be loaded makes each call return `failed` (nothing, for void ones).
#include <string>

// `name` in the shared library `soname`, opened on the first call for it; null when either
// cannot be had.
void* LazySymbol(const char* soname, const char* name);
// Why `soname` could not be loaded ("the library X cannot be loaded: ..."); empty when it was.
std::string LazyLoadError(const char* soname);

#define LAZY_FUNCTION(soname, failed, ret, name, params, args)                                  \
    extern "C" ret name params                                                                \
    {                                                                                         \
        using TFunction = ret(*) params;                                                      \
        static const TFunction real = reinterpret_cast<TFunction>(LazySymbol(soname, #name)); \
        if (!real) return failed;                                                             \
        return real args;                                                                     \
    }
#define LAZY_VOID_FUNCTION(soname, name, params, args)                                          \
    extern "C" void name params                                                               \
    {                                                                                         \
        using TFunction = void(*) params;                                                     \
        static const TFunction real = reinterpret_cast<TFunction>(LazySymbol(soname, #name)); \
        if (real) real args;                                                                  \
    }
