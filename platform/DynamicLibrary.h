// A shared library loaded at run time. Entry points are looked up one by one, so a
// library that lacks one of them still serves the others.
#pragma once

#include <memory>
#include <string>

namespace kq::platform {

class DynamicLibrary {
public:
    // nullptr when the library cannot be loaded; `error` then holds the loader's text.
    static std::unique_ptr<DynamicLibrary> Load(const std::string& path, std::string* error = nullptr);

    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // nullptr when the library has no such entry point.
    void* Symbol(const char* name) const;

    template <class Fn> Fn* Function(const char* name) const {
        return reinterpret_cast<Fn*>(Symbol(name));
    }

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

} // namespace kq::platform
