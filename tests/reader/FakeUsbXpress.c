/* A stand-in for the USB bridge library of the Bluetooth dongles: it records what it is
 * called with and plays dongles whose serial-number strings the test registers; one
 * can be open at a time. Bytes written go to a responder (the test's module); bytes
 * fed in are read back. FAKE_WITHOUT_BREAK builds it without SI_SetBreak. Control
 * functions are prefixed FakeSi_. */
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef uint32_t Status;
typedef void* Handle;

enum { kOk = 0, kInvalidHandle = 1, kDeviceNotFound = 0xFF };

static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static char g_log[32768];
static size_t g_logLength;
enum { kMaxDevices = 8 };
static char g_serials[kMaxDevices][64];
static int g_count;
static int g_device; /* its address is the handle */
static int g_open;
static uint8_t g_rx[8192];
static size_t g_rxLength;
static void (*g_responder)(const uint8_t*, size_t, void*);
static void* g_responderUser;

static void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    pthread_mutex_lock(&g_mutex);
    if (g_logLength < sizeof g_log) {
        int n = vsnprintf(g_log + g_logLength, sizeof g_log - g_logLength, format, args);
        if (n > 0) g_logLength += (size_t)n;
        if (g_logLength >= sizeof g_log) g_logLength = sizeof g_log - 1;
    }
    pthread_mutex_unlock(&g_mutex);
    va_end(args);
}

static int IsOurs(Handle h) {
    return h == &g_device && g_open;
}

EXPORT void FakeSi_Reset(void) {
    pthread_mutex_lock(&g_mutex);
    g_logLength = 0;
    g_log[0] = 0;
    g_count = 0;
    g_open = 0;
    g_rxLength = 0;
    g_responder = NULL;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT void FakeSi_AddDevice(const char* serial) {
    pthread_mutex_lock(&g_mutex);
    if (g_count < kMaxDevices) snprintf(g_serials[g_count++], sizeof g_serials[0], "%s", serial);
    pthread_mutex_unlock(&g_mutex);
}

EXPORT size_t FakeSi_CopyLog(char* out, size_t size) {
    pthread_mutex_lock(&g_mutex);
    size_t n = g_logLength < size - 1 ? g_logLength : size - 1;
    memcpy(out, g_log, n);
    out[n] = 0;
    pthread_mutex_unlock(&g_mutex);
    return n;
}

EXPORT void FakeSi_Feed(const uint8_t* bytes, size_t count) {
    pthread_mutex_lock(&g_mutex);
    if (g_rxLength + count <= sizeof g_rx) {
        memcpy(g_rx + g_rxLength, bytes, count);
        g_rxLength += count;
    }
    pthread_mutex_unlock(&g_mutex);
}

/* The open dongle goes away: every call on its handle fails from now on. */
EXPORT void FakeSi_Unplug(void) {
    pthread_mutex_lock(&g_mutex);
    g_open = 0;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT void FakeSi_SetResponder(void (*responder)(const uint8_t*, size_t, void*), void* user) {
    pthread_mutex_lock(&g_mutex);
    g_responder = responder;
    g_responderUser = user;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT Status SI_GetNumDevices(uint32_t* count) {
    pthread_mutex_lock(&g_mutex);
    *count = (uint32_t)g_count;
    pthread_mutex_unlock(&g_mutex);
    return kOk;
}

EXPORT Status SI_GetProductString(uint32_t index, void* text, uint32_t option) {
    Log("SI_GetProductString(%u,%u)\n", index, option);
    pthread_mutex_lock(&g_mutex);
    Status status = index < (uint32_t)g_count ? kOk : kDeviceNotFound;
    if (status == kOk) snprintf((char*)text, 256, "%s", option == 0 ? g_serials[index] : "Vek Bluetooth");
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status SI_Open(uint32_t index, Handle* handle) {
    Log("SI_Open(%u)\n", index);
    pthread_mutex_lock(&g_mutex);
    Status status = kDeviceNotFound;
    if (index < (uint32_t)g_count && !g_open) {
        g_open = 1;
        *handle = &g_device;
        status = kOk;
    }
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status SI_Close(Handle h) {
    Log("SI_Close\n");
    pthread_mutex_lock(&g_mutex);
    Status status = IsOurs(h) ? kOk : kInvalidHandle;
    g_open = 0;
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status SI_SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    Log("SI_SetTimeouts(%u,%u)\n", readMs, writeMs);
    return kOk;
}

EXPORT Status SI_SetBaudRate(Handle h, uint32_t rate) {
    Log("SI_SetBaudRate(%u)\n", rate);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status SI_SetLineControl(Handle h, uint16_t line) {
    Log("SI_SetLineControl(0x%04X)\n", line);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status SI_SetFlowControl(Handle h, uint8_t cts, uint8_t rts, uint8_t dtr, uint8_t dsr, uint8_t dcd,
                                int xon) {
    Log("SI_SetFlowControl(%u,%u,%u,%u,%u,%d)\n", cts, rts, dtr, dsr, dcd, xon);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status SI_FlushBuffers(Handle h, uint8_t transmit, uint8_t receive) {
    Log("SI_FlushBuffers(%u,%u)\n", transmit, receive);
    pthread_mutex_lock(&g_mutex);
    if (receive) g_rxLength = 0;
    pthread_mutex_unlock(&g_mutex);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

#ifndef FAKE_WITHOUT_BREAK
EXPORT Status SI_SetBreak(Handle h, uint16_t state) {
    Log("SI_SetBreak(%u)\n", state);
    return IsOurs(h) ? kOk : kInvalidHandle;
}
#endif

EXPORT Status SI_CheckRXQueue(Handle h, uint32_t* queued, uint32_t* queueStatus) {
    pthread_mutex_lock(&g_mutex);
    Status status = IsOurs(h) ? kOk : kInvalidHandle;
    *queued = status == kOk ? (uint32_t)g_rxLength : 0;
    *queueStatus = *queued ? 2u : 0u;
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status SI_Read(Handle h, void* buffer, uint32_t size, uint32_t* got, void* overlapped) {
    (void)overlapped;
    pthread_mutex_lock(&g_mutex);
    Status status = IsOurs(h) ? kOk : kInvalidHandle;
    size_t n = status == kOk ? (size < g_rxLength ? size : g_rxLength) : 0;
    memcpy(buffer, g_rx, n);
    memmove(g_rx, g_rx + n, g_rxLength - n);
    g_rxLength -= n;
    *got = (uint32_t)n;
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status SI_Write(Handle h, void* buffer, uint32_t size, uint32_t* written, void* overlapped) {
    (void)overlapped;
    char hex[3 * 300 + 1] = "";
    size_t pos = 0;
    for (uint32_t i = 0; i < size && i < 300; ++i)
        pos +=
            (size_t)snprintf(hex + pos, sizeof hex - pos, i ? " %02X" : "%02X", ((const uint8_t*)buffer)[i]);
    Log("SI_Write(%s)\n", hex);
    if (!IsOurs(h)) return kInvalidHandle;
    *written = size;
    pthread_mutex_lock(&g_mutex);
    void (*responder)(const uint8_t*, size_t, void*) = g_responder;
    void* user = g_responderUser;
    pthread_mutex_unlock(&g_mutex);
    if (responder) responder((const uint8_t*)buffer, size, user);
    return kOk;
}
