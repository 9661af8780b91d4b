/* A C program's use of a reader on any link: open by name, write a record, read it
 * back, close. */
#include "kqlmx.h"

/* The bytes read (the record text in `out`), or the first failing call's result. */
int LinkFromC_WriteAndRead(const char* name, const char* json, int jsonLength, char* out, int size) {
    int port = KQLMX_OpenPort(name, 19200, 500);
    if (port <= 0) return port;
    int result = KQLMX_WriteTag(port, json, jsonLength, 0, 0, 0);
    if (result == 0) result = KQLMX_ReadTag(port, out, size);
    KQLMX_ClosePort(port);
    return result;
}
