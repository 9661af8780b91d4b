/* What a C caller's counting and timestamping UI hooks saw during one call. */
#ifndef LINK_FROM_C_H
#define LINK_FROM_C_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LinkFromC_HookLog {
    int pumps;
    double longestPumpGapMs; /* also from the call's start to the first pump and from
                                the last pump to the call's end */
    int busyBegun, busyEnded, windowsDisabled, windowsRestored;
    double lastMs; /* internal: the time of the last pump */
} LinkFromC_HookLog;

/* Opens the port, asks the reader's version once with the hooks installed, closes:
 * the version call's result, or the open's. */
int LinkFromC_VersionWithHooks(const char* name, int timeoutMs, LinkFromC_HookLog* log);
/* KQLMX_CheckLanReader with the hooks installed. */
int LinkFromC_CheckLanWithHooks(const char* reader, LinkFromC_HookLog* log);

#ifdef __cplusplus
}
#endif

#endif
