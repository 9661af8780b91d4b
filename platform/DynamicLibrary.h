// A shared library loaded at run time. Entry points are looked up one by one, so a
// library that lacks one of them still serves the others.
#pragma once

#include <memory>
#include <mutex>
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

    template <class Fn> Fn* Function(const char* name) const { return reinterpret_cast<Fn*>(Symbol(name)); }

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// Looks up one entry point of a vendor library; a missing one is told to the debug
// output ("Fehler: Kann <name> nicht initialisieren") and stays null.
void ReportMissingEntry(const char* name);
template <class Fn> void BindEntry(const DynamicLibrary& library, const char* name, Fn*& entry) {
    entry = library.Function<Fn>(name);
    if (!entry) ReportMissingEntry(name);
}

// Calls an entry point, or answers `missing` when it was not found.
template <class Status, class Fn, class... Args> Status CallEntry(Status missing, Fn* entry, Args... args) {
    return entry ? entry(args...) : missing;
}

// A vendor library loaded on first use, once: the first call loads it and binds its
// entry points through `bind`; a library that cannot be loaded is told to the debug
// output ("Fehler: Kann <path> nicht laden") and not tried again.
class VendorLibrary {
public:
    template <class Bind> bool Load(const std::string& path, Bind bind) {
        std::lock_guard lock(mutex_);
        if (tried_) return library_ != nullptr;
        tried_ = true;
        library_ = DynamicLibrary::Load(path);
        if (!library_) {
            ReportUnloadable(path);
            return false;
        }
        bind(*library_);
        return true;
    }

private:
    static void ReportUnloadable(const std::string& path);
    std::mutex mutex_;
    bool tried_ = false;
    std::unique_ptr<DynamicLibrary> library_;
};

} // namespace kq::platform
