/* A stand-in for the FTDI D2XX library: it records what it is called with and plays
 * devices whose serial numbers the test registers; one of them can be open at a time.
 * FAKE_WITHOUT_LATENCY_TIMER builds it without FT_SetLatencyTimer. Control functions
 * are prefixed FakeFt_. */
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef uint32_t Status;
typedef void* Handle;

enum { kOk = 0, kInvalidHandle = 1, kDeviceNotFound = 2, kIoError = 4 };

static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static char g_log[16384];
static size_t g_logLength;
enum { kMaxDevices = 8 };
static char g_serials[kMaxDevices][32];
static int g_openElsewhere[kMaxDevices]; /* another process has it open */
static int g_serialCount;
static int g_device; /* its address is the handle */
static int g_open;
static int g_openIndex;
static int g_unplugged;
static uint8_t g_rx[4096];
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

EXPORT void FakeFt_Reset(void) {
    pthread_mutex_lock(&g_mutex);
    g_logLength = 0;
    g_log[0] = 0;
    g_serialCount = 0;
    memset(g_openElsewhere, 0, sizeof g_openElsewhere);
    g_open = 0;
    g_unplugged = 0;
    g_rxLength = 0;
    g_responder = NULL;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT void FakeFt_AddDevice(const char* serial) {
    pthread_mutex_lock(&g_mutex);
    if (g_serialCount < kMaxDevices) snprintf(g_serials[g_serialCount++], sizeof g_serials[0], "%s", serial);
    pthread_mutex_unlock(&g_mutex);
}

/* The device with this serial number is held by another process from now on. */
EXPORT void FakeFt_SetOpenElsewhere(const char* serial) {
    pthread_mutex_lock(&g_mutex);
    for (int i = 0; i < g_serialCount; ++i) {
        if (strcmp(g_serials[i], serial) == 0) g_openElsewhere[i] = 1;
    }
    pthread_mutex_unlock(&g_mutex);
}

EXPORT size_t FakeFt_CopyLog(char* out, size_t size) {
    pthread_mutex_lock(&g_mutex);
    size_t n = g_logLength < size - 1 ? g_logLength : size - 1;
    memcpy(out, g_log, n);
    out[n] = 0;
    pthread_mutex_unlock(&g_mutex);
    return n;
}

EXPORT void FakeFt_Feed(const uint8_t* bytes, size_t count) {
    pthread_mutex_lock(&g_mutex);
    if (g_rxLength + count <= sizeof g_rx) {
        memcpy(g_rx + g_rxLength, bytes, count);
        g_rxLength += count;
    }
    pthread_mutex_unlock(&g_mutex);
}

EXPORT void FakeFt_SetResponder(void (*responder)(const uint8_t*, size_t, void*), void* user) {
    pthread_mutex_lock(&g_mutex);
    g_responder = responder;
    g_responderUser = user;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT void FakeFt_Unplug(void) {
    pthread_mutex_lock(&g_mutex);
    g_unplugged = 1;
    pthread_mutex_unlock(&g_mutex);
}

EXPORT Status FT_SetVIDPID(uint32_t vid, uint32_t pid) {
    Log("FT_SetVIDPID(0x%04X,0x%04X)\n", vid, pid);
    return kOk;
}

/* A device-list node as the library fills it. */
typedef struct {
    uint32_t flags, type, id, locationId;
    char serialNumber[16];
    char description[64];
    Handle handle;
} Node;

EXPORT Status FT_CreateDeviceInfoList(uint32_t* count) {
    Log("FT_CreateDeviceInfoList\n");
    pthread_mutex_lock(&g_mutex);
    *count = (uint32_t)g_serialCount;
    pthread_mutex_unlock(&g_mutex);
    return kOk;
}

EXPORT Status FT_GetDeviceInfoList(Node* nodes, uint32_t* count) {
    Log("FT_GetDeviceInfoList\n");
    pthread_mutex_lock(&g_mutex);
    uint32_t n = *count < (uint32_t)g_serialCount ? *count : (uint32_t)g_serialCount;
    for (uint32_t i = 0; i < n; ++i) {
        memset(&nodes[i], 0, sizeof nodes[i]);
        int here = g_open && g_openIndex == (int)i;
        nodes[i].flags = (here || g_openElsewhere[i]) ? 1u : 0u;
        nodes[i].id = 0x0403E130u;
        /* A 16-character serial number fills its field without a terminating zero. */
        memcpy(nodes[i].serialNumber, g_serials[i], strnlen(g_serials[i], sizeof nodes[i].serialNumber));
        snprintf(nodes[i].description, sizeof nodes[i].description, "KQ Reader");
        nodes[i].handle = here ? &g_device : NULL;
    }
    *count = n;
    pthread_mutex_unlock(&g_mutex);
    return kOk;
}

EXPORT Status FT_OpenEx(void* arg, uint32_t flags, Handle* handle) {
    Log("FT_OpenEx(%s,%u)\n", (const char*)arg, flags);
    pthread_mutex_lock(&g_mutex);
    Status status = kDeviceNotFound;
    for (int i = 0; i < g_serialCount && flags == 1; ++i) {
        if (strcmp(g_serials[i], (const char*)arg) == 0 && !g_open && !g_openElsewhere[i]) {
            g_open = 1;
            g_openIndex = i;
            *handle = &g_device;
            status = kOk;
        }
    }
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status FT_Close(Handle h) {
    Log("FT_Close\n");
    pthread_mutex_lock(&g_mutex);
    Status status = IsOurs(h) ? kOk : kInvalidHandle;
    g_open = 0;
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status FT_SetBaudRate(Handle h, uint32_t rate) {
    Log("FT_SetBaudRate(%u)\n", rate);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_SetDataCharacteristics(Handle h, uint8_t bits, uint8_t stop, uint8_t parity) {
    Log("FT_SetDataCharacteristics(%u,%u,%u)\n", bits, stop, parity);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_SetFlowControl(Handle h, uint16_t mode, uint8_t xon, uint8_t xoff) {
    Log("FT_SetFlowControl(%u,0x%02X,0x%02X)\n", mode, xon, xoff);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_SetDtr(Handle h) {
    Log("FT_SetDtr\n");
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_SetRts(Handle h) {
    Log("FT_SetRts\n");
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_SetTimeouts(Handle h, uint32_t readMs, uint32_t writeMs) {
    Log("FT_SetTimeouts(%u,%u)\n", readMs, writeMs);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

#ifndef FAKE_WITHOUT_LATENCY_TIMER
EXPORT Status FT_SetLatencyTimer(Handle h, uint8_t ms) {
    Log("FT_SetLatencyTimer(%u)\n", ms);
    return IsOurs(h) ? kOk : kInvalidHandle;
}
#endif

EXPORT Status FT_Purge(Handle h, uint32_t mask) {
    Log("FT_Purge(%u)\n", mask);
    pthread_mutex_lock(&g_mutex);
    if (mask & 1) g_rxLength = 0;
    pthread_mutex_unlock(&g_mutex);
    return IsOurs(h) ? kOk : kInvalidHandle;
}

EXPORT Status FT_GetQueueStatus(Handle h, uint32_t* rxBytes) {
    pthread_mutex_lock(&g_mutex);
    Status status = !IsOurs(h) ? kInvalidHandle : g_unplugged ? kIoError : kOk;
    *rxBytes = status == kOk ? (uint32_t)g_rxLength : 0;
    pthread_mutex_unlock(&g_mutex);
    return status;
}

EXPORT Status FT_Read(Handle h, void* buffer, uint32_t size, uint32_t* got) {
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

EXPORT Status FT_Write(Handle h, void* buffer, uint32_t size, uint32_t* written) {
    char hex[3 * 300 + 1] = "";
    size_t pos = 0;
    for (uint32_t i = 0; i < size && i < 300; ++i)
        pos +=
            (size_t)snprintf(hex + pos, sizeof hex - pos, i ? " %02X" : "%02X", ((const uint8_t*)buffer)[i]);
    Log("FT_Write(%s)\n", hex);
    if (!IsOurs(h)) return kInvalidHandle;
    *written = size;
    pthread_mutex_lock(&g_mutex);
    void (*responder)(const uint8_t*, size_t, void*) = g_responder;
    void* user = g_responderUser;
    pthread_mutex_unlock(&g_mutex);
    if (responder) responder((const uint8_t*)buffer, size, user);
    return kOk;
}
