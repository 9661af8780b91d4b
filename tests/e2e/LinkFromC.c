/* A C program's use of a reader on any link: open by name, write a record, read it
 * back, close; and UI hooks as a C program installs them, counting and timing. */
#define _POSIX_C_SOURCE 200809L
#include "LinkFromC.h"
#include "kqlmx.h"

#include <stddef.h>
#include <time.h>

/* The bytes read (the record text in `out`), or the first failing call's result. */
int LinkFromC_WriteAndRead(const char* name, const char* json, int jsonLength, char* out, int size) {
    int port = KQLMX_OpenPort(name, 19200, 500);
    if (port <= 0) return port;
    int result = KQLMX_WriteTag(port, json, jsonLength, 0, 0, 0);
    if (result == 0) result = KQLMX_ReadTag(port, out, size);
    KQLMX_ClosePort(port);
    return result;
}

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static void Pump(void* user) {
    LinkFromC_HookLog* log = (LinkFromC_HookLog*)user;
    const double now = NowMs();
    if (now - log->lastMs > log->longestPumpGapMs) log->longestPumpGapMs = now - log->lastMs;
    log->lastMs = now;
    ++log->pumps;
}
static void* Disable(void* user) { return ++((LinkFromC_HookLog*)user)->windowsDisabled, user; }
static void Restore(void* user, void* token) { ((LinkFromC_HookLog*)user)->windowsRestored += token == user; }
static void BeginBusy(void* user) { ++((LinkFromC_HookLog*)user)->busyBegun; }
static void EndBusy(void* user) { ++((LinkFromC_HookLog*)user)->busyEnded; }

static void Install(LinkFromC_HookLog* log) {
    KQLMX_UiHooks hooks = {log, Pump, Disable, Restore, BeginBusy, EndBusy};
    log->lastMs = NowMs();
    KQLMX_SetUiHooks(&hooks);
}

static void Remove(LinkFromC_HookLog* log) {
    Pump(log);
    --log->pumps;
    KQLMX_SetUiHooks(NULL);
}

int LinkFromC_VersionWithHooks(const char* name, int timeoutMs, LinkFromC_HookLog* log) {
    unsigned char version[8];
    int result, port = KQLMX_OpenPort(name, 19200, timeoutMs);
    if (port <= 0) return port;
    Install(log);
    result = KQLMX_GetReaderVersion(port, version, (int)sizeof version);
    Remove(log);
    KQLMX_ClosePort(port);
    return result;
}

int LinkFromC_CheckLanWithHooks(const char* reader, LinkFromC_HookLog* log) {
    int result;
    Install(log);
    result = KQLMX_CheckLanReader(reader);
    Remove(log);
    return result;
}
