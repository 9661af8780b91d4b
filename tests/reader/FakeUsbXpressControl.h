// The fake bridge library (FakeUsbXpress.c) as the tests drive it, from the same loaded
// instance that the code under test uses, and a simulated Bluetooth module plugged
// into it: what the library writes goes to the module, what the module sends comes
// back as the dongle's input.
#pragma once

#include "sim/BluetoothModule.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

// The reader library's own bridge library is the fake, for every test that includes
// this header.
inline const bool kFakeUsbXpressInstalled = [] {
    setenv("KQLMX_USBXPRESS_LIBRARY", FAKE_USBXPRESS_PATH, 1);
    return true;
}();

struct FakeUsbXpress {
    explicit FakeUsbXpress(const char* path = FAKE_USBXPRESS_PATH) : handle(dlopen(path, RTLD_NOW)) {
        Reset = reinterpret_cast<void (*)()>(dlsym(handle, "FakeSi_Reset"));
        AddDevice = reinterpret_cast<void (*)(const char*)>(dlsym(handle, "FakeSi_AddDevice"));
        CopyLog = reinterpret_cast<size_t (*)(char*, size_t)>(dlsym(handle, "FakeSi_CopyLog"));
        Feed = reinterpret_cast<void (*)(const uint8_t*, size_t)>(dlsym(handle, "FakeSi_Feed"));
        Unplug = reinterpret_cast<void (*)()>(dlsym(handle, "FakeSi_Unplug"));
        SetResponder = reinterpret_cast<void (*)(void (*)(const uint8_t*, size_t, void*), void*)>(
            dlsym(handle, "FakeSi_SetResponder"));
        Reset();
    }
    ~FakeUsbXpress() {
        Reset();
        dlclose(handle);
    }
    FakeUsbXpress(const FakeUsbXpress&) = delete;
    FakeUsbXpress& operator=(const FakeUsbXpress&) = delete;

    // The log's lines that start with `prefix`, in order.
    std::vector<std::string> Calls(const std::string& prefix = "SI_") const {
        std::string log(32768, '\0');
        log.resize(CopyLog(log.data(), log.size()));
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
            if (log.compare(start, prefix.size(), prefix) == 0)
                lines.push_back(log.substr(start, end - start));
        return lines;
    }

    // The module answers every write; what it sends unasked is fed in at once.
    void Plug(kqsim::BluetoothModule& module) {
        module.setNotify([this](const kqsim::Bytes& bytes) { Feed(bytes.data(), bytes.size()); });
        SetResponder(
            [](const uint8_t* bytes, size_t count, void* user) {
                auto* self = static_cast<FakeUsbXpress*>(user);
                kqsim::Outgoing out = self->module->receive(bytes, count, std::nullopt);
                for (const kqsim::OutgoingChunk& chunk : out.chunks)
                    self->Feed(chunk.bytes.data(), chunk.bytes.size());
            },
            this);
        this->module = &module;
    }

    void* handle;
    void (*Reset)();
    void (*AddDevice)(const char*);
    size_t (*CopyLog)(char*, size_t);
    void (*Feed)(const uint8_t*, size_t);
    void (*Unplug)();
    void (*SetResponder)(void (*)(const uint8_t*, size_t, void*), void*);
    kqsim::BluetoothModule* module = nullptr;
};
