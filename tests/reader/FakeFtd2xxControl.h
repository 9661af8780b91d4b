// The fake FTDI library (FakeFtd2xx.c) as the tests drive it: its control functions,
// from the same loaded instance that the code under test uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

// The reader library's own FTDI library is the fake, for every test of the program
// that includes this header.
inline const bool kFakeFtd2xxInstalled = [] {
    setenv("KQLMX_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH, 1);
    return true;
}();

struct FakeFtd2xx {
    explicit FakeFtd2xx(const char* path) : handle(dlopen(path, RTLD_NOW)) {
        Reset = reinterpret_cast<void (*)()>(dlsym(handle, "FakeFt_Reset"));
        AddDevice = reinterpret_cast<void (*)(const char*)>(dlsym(handle, "FakeFt_AddDevice"));
        SetOpenElsewhere = reinterpret_cast<void (*)(const char*)>(dlsym(handle, "FakeFt_SetOpenElsewhere"));
        CopyLog = reinterpret_cast<size_t (*)(char*, size_t)>(dlsym(handle, "FakeFt_CopyLog"));
        Feed = reinterpret_cast<void (*)(const uint8_t*, size_t)>(dlsym(handle, "FakeFt_Feed"));
        SetResponder = reinterpret_cast<void (*)(void (*)(const uint8_t*, size_t, void*), void*)>(
            dlsym(handle, "FakeFt_SetResponder"));
        Unplug = reinterpret_cast<void (*)()>(dlsym(handle, "FakeFt_Unplug"));
        Reset();
    }
    ~FakeFtd2xx() { dlclose(handle); }
    FakeFtd2xx(const FakeFtd2xx&) = delete;
    FakeFtd2xx& operator=(const FakeFtd2xx&) = delete;

    std::string Log() const {
        std::string text(16384, '\0');
        text.resize(CopyLog(text.data(), text.size()));
        return text;
    }
    // The log's lines that start with `prefix`, in order.
    std::vector<std::string> Calls(const std::string& prefix = "FT_") const {
        std::vector<std::string> lines;
        std::string log = Log();
        for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = log.substr(start, end - start);
            if (line.starts_with(prefix)) lines.push_back(line);
        }
        return lines;
    }

    void* handle;
    void (*Reset)();
    void (*AddDevice)(const char*);
    void (*SetOpenElsewhere)(const char*);
    size_t (*CopyLog)(char*, size_t);
    void (*Feed)(const uint8_t*, size_t);
    void (*SetResponder)(void (*)(const uint8_t*, size_t, void*), void*);
    void (*Unplug)();
};
