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
    if (now - log->lastMs > 50.0) log->slowGapsMs += now - log->lastMs;
    log->lastMs = now;
    ++log->pumps;
}
static void* Disable(void* user) {
    return ++((LinkFromC_HookLog*)user)->windowsDisabled, user;
}
static void Restore(void* user, void* token) {
    ((LinkFromC_HookLog*)user)->windowsRestored += token == user;
}
static void BeginBusy(void* user) {
    ++((LinkFromC_HookLog*)user)->busyBegun;
}
static void EndBusy(void* user) {
    ++((LinkFromC_HookLog*)user)->busyEnded;
}

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

/* A tag call made from the pump hook during another call's answer wait: the first
 * pump runs KQLMX_ReadTag on the same port, and its result and last error are kept. */
static int g_port, g_pumps, g_nestedResult, g_nestedError;

static void ReadFromThePump(void* user) {
    char text[64];
    (void)user;
    if (g_pumps++ != 0) return;
    g_nestedResult = KQLMX_ReadTag(g_port, text, sizeof text);
    g_nestedError = KQLMX_GetLastError(g_port);
}

int LinkFromC_TagCallDuringWrite(int port, const char* json, int jsonLength, int* nestedResult,
                                 int* nestedError) {
    KQLMX_UiHooks hooks = {0, ReadFromThePump, 0, 0, 0, 0};
    int result;
    g_port = port;
    g_pumps = g_nestedResult = g_nestedError = 0;
    KQLMX_SetUiHooks(&hooks);
    result = KQLMX_WriteTag(port, json, jsonLength, 0, 0, 0);
    KQLMX_SetUiHooks(0);
    *nestedResult = g_nestedResult;
    *nestedError = g_nestedError;
    return result;
}

/* Trace sinks that call the library: one removes itself at its first text, one opens
 * and closes a port at its first text. */
static int g_sinkCalls, g_sinkOpened;
static const char* g_sinkPortName;

static void RemovingSink(void* user, const char* text) {
    (void)user;
    (void)text;
    ++g_sinkCalls;
    KQLMX_SetTraceSink(0, 0);
}

static void OpeningSink(void* user, const char* text) {
    int port;
    (void)user;
    (void)text;
    if (g_sinkCalls++ != 0) return;
    port = KQLMX_OpenPort(g_sinkPortName, 19200, 500);
    g_sinkOpened = port;
    if (port > 0) KQLMX_ClosePort(port);
}

/* The texts the removing sink got (1 when it was removed at once), while a port on
 * `name` was opened and closed. */
int LinkFromC_SinkRemovesItself(const char* name) {
    int port;
    g_sinkCalls = 0;
    KQLMX_SetTraceSink(RemovingSink, 0);
    port = KQLMX_OpenPort(name, 19200, 500);
    if (port > 0) KQLMX_ClosePort(port);
    KQLMX_SetTraceSink(0, 0);
    return port > 0 ? g_sinkCalls : port;
}

/* The handle the opening sink got for a port on `name`. */
int LinkFromC_SinkOpensAPort(const char* name) {
    g_sinkCalls = 0;
    g_sinkOpened = 0;
    g_sinkPortName = name;
    KQLMX_SetTraceSink(OpeningSink, 0);
    KQLMX_ClosePort(9999);
    KQLMX_SetTraceSink(0, 0);
    return g_sinkOpened;
}
