// Preloaded into a child process (LD_PRELOAD) to take away the C library's code page 936
// converter, as on a system whose gconv modules are missing. Every other conversion works.

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <initializer_list>
#include <strings.h>

namespace {

bool namesGbk(const char* code) {
    for (const char* name : {"CP936", "GBK"}) {
        const size_t length = std::strlen(name);
        if (strncasecmp(code, name, length) == 0 && (code[length] == '\0' || code[length] == '/'))
            return true;
    }
    return false;
}

} // namespace

extern "C" void* iconv_open(const char* to, const char* from) {
    if (namesGbk(to) || namesGbk(from)) {
        errno = EINVAL;
        return reinterpret_cast<void*>(-1);
    }
    using Open = void* (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "iconv_open"));
    return real(to, from);
}
