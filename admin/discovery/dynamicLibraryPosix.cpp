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
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    m_error = m_handle ? std::string() : LoaderReason("cannot open the library");
    return m_handle != nullptr;
}

void TDynamicLibrary::Close()
{
    if (m_handle)
        ::dlclose(m_handle);
    m_handle = nullptr;
}

void* TDynamicLibrary::Resolve(const char* name)
{
    if (!m_handle) {
        m_error = "the library is not open";
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(m_handle, name);
    m_error = symbol ? std::string() : LoaderReason("symbol not found");
    return symbol;
}
