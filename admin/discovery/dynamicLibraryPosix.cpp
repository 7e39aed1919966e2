#include "admin/discovery/dynamicLibrary.h"

#include <dlfcn.h>

namespace {
std::string LoaderReason(const char* fallback)
{
    const char* reason = ::dlerror();
    return reason ? std::string(reason) : std::string(fallback);
}
} // namespace

TDynamicLibrary::~TDynamicLibrary()
{
    Close();
}

bool TDynamicLibrary::Open(const std::string& path)
{
    Close();
    ::dlerror(); // forget an older reason
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    error_ = handle_ ? std::string() : LoaderReason("cannot open the library");
    return handle_ != nullptr;
}

void TDynamicLibrary::Close()
{
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

void* TDynamicLibrary::Resolve(const char* name)
{
    if (!handle_) {
        error_ = "the library is not open";
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(handle_, name);
    error_ = symbol ? std::string() : LoaderReason("symbol not found");
    return symbol;
}
