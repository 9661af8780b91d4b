/* What a C caller's counting and timestamping UI hooks saw during one call. */
#ifndef LINK_FROM_C_H
#define LINK_FROM_C_H
#ifdef __cplusplus
extern "C" {
#endif
typedef struct LinkFromC_HookLog {
    int pumps, busyBegun, busyEnded, windowsDisabled, windowsRestored;
    double longestPumpGapMs; /* the call's start and end count as pumps */
    double lastMs;
    double slowGapsMs; /* the gaps of more than 50 ms added up */
} LinkFromC_HookLog;
/* One version request on a port opened and closed around it, with the hooks. */
int LinkFromC_VersionWithHooks(const char* name, int timeoutMs, LinkFromC_HookLog* log);
int LinkFromC_CheckLanWithHooks(const char* reader, LinkFromC_HookLog* log);
/* A tag call from the pump hook during a write: the write's result, the nested call's. */
int LinkFromC_TagCallDuringWrite(int port, const char* json, int jsonLength, int* nestedResult,
                                 int* nestedError);
/* Trace sinks that call the library back (see LinkFromC.c). */
int LinkFromC_SinkRemovesItself(const char* name);
int LinkFromC_SinkOpensAPort(const char* name);
#ifdef __cplusplus
}
#endif
#endif
