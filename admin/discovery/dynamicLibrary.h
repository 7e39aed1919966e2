#pragma once
// A shared library opened at run time and its exported functions. One
// backend per platform sits beside this header (dlopen here; LoadLibrary
// on Windows).
#include <string>

class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    ~TDynamicLibrary();
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    // A path with a directory is opened as it stands; a bare file name is
    // looked for on the system's library path. false on failure, with the
    // loader's reason in ErrorText().
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }
    // The address of an exported symbol, or null (reason in ErrorText()).
    void* Resolve(const char* name);
    const std::string& ErrorText() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};
