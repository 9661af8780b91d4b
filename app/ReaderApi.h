#pragma once

// The reader library's flat calls that the tag-operation engine makes, one virtual
// function for each. This class makes each call on the library (include/kqlmx.h);
// tests derive from it to watch the calls or to answer in place of a reader.
class ReaderApi {
public:
    virtual ~ReaderApi() = default;

    virtual int OpenPort(const char* name, int baud, int timeoutMs);
    virtual int ClosePort(int port);
    virtual int GetLastError(int port);
    virtual int SetWaitMode(int port, int flag);
    virtual int SetOutputs(int port, int mask, int value);
    virtual int FormatTag(int port, const void* key, int keyLen);
    virtual int LockTag(int port, const void* key, int keyLen);
    virtual int ReadTag(int port, char* buf, int len);
    virtual int GetTagUid(int port, unsigned char* out, int len);
    virtual int ChangeTagKey(int port, int flag, const void* curKey, int curKeyLen, const void* newKey,
                             int newKeyLen);
    virtual int WriteTag(int port, const char* json, int jsonLen, const void* key, int keyLen, int lockAfter);
};
