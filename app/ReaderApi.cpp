#include "app/ReaderApi.h"

#include "kqlmx.h"

int ReaderApi::OpenPort(const char* name, int baud, int timeoutMs) {
    return KQLMX_OpenPort(name, baud, timeoutMs);
}

int ReaderApi::ClosePort(int port) {
    return KQLMX_ClosePort(port);
}

int ReaderApi::GetLastError(int port) {
    return KQLMX_GetLastError(port);
}

int ReaderApi::SetWaitMode(int port, int flag) {
    return KQLMX_SetWaitMode(port, flag);
}

int ReaderApi::SetOutputs(int port, int mask, int value) {
    return KQLMX_SetOutputs(port, mask, value);
}

int ReaderApi::FormatTag(int port, const void* key, int keyLen) {
    return KQLMX_FormatTag(port, key, keyLen);
}

int ReaderApi::LockTag(int port, const void* key, int keyLen) {
    return KQLMX_LockTag(port, key, keyLen);
}

int ReaderApi::ReadTag(int port, char* buf, int len) {
    return KQLMX_ReadTag(port, buf, len);
}

int ReaderApi::GetTagUid(int port, unsigned char* out, int len) {
    return KQLMX_GetTagUid(port, out, len);
}

int ReaderApi::ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen, const void* newKey,
                            int newKeyLen) {
    return KQLMX_ChangeTagKey(port, flag, curKey, curKeyLen, newKey, newKeyLen);
}

int ReaderApi::WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen, int lockAfter) {
    return KQLMX_WriteTag(port, json, jsonLen, key, keyLen, lockAfter);
}
