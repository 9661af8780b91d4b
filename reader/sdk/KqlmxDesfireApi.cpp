// The flat functions of the DESFire command layer and the ISO 7816-4 file commands:
// each finds the port, converts the caller's arguments and calls one command.
#include "kqlmx.h"

#include "reader/sdk/DesfireCommands.h"
#include "reader/sdk/FlatCall.h"

#include <algorithm>

using kq::App;
using kq::Bytes;
using kq::BytesArg;
using kq::CopyAnswer;
using kq::Result;

namespace {

// Numbers a command sends in its fields; negative ones are refused before anything is sent.
bool InRange(kq::CKQ_LMX_Port& port, std::initializer_list<int> values) {
    if (std::all_of(values.begin(), values.end(), [](int v) { return v >= 0; })) return true;
    port.lastError = KQLMX_ERROR_COUNT_RANGE;
    return false;
}

// A list goes out whole or not at all: 0x10026 when the buffer cannot take every entry.
int CopyList(kq::CKQ_LMX_Port& port, const Bytes& list, unsigned char* buf, int len) {
    if (list.size() > (buf && len > 0 ? static_cast<size_t>(len) : 0)) {
        port.lastError = kq::kDesfireListTooLong;
        return -1;
    }
    std::copy(list.begin(), list.end(), buf);
    return static_cast<int>(list.size());
}

int Authenticate(int port, bool aes, int keyNo, const void* key, int keyLen) {
    auto found = App().FindPort(port);
    return Result(found && kq::DesfireAuthenticate(*found, aes, keyNo, BytesArg(key, keyLen)));
}

} // namespace

extern "C" {

int KQLMX_DesfireSetIsoWrapping(int port, int flag) {
    auto found = App().FindPort(port);
    return Result(found && kq::DesfireSetIsoWrapping(*found, flag != 0));
}

int KQLMX_DesfireAuthenticateIso(int port, int keyNo, const void* key, int keyLen) {
    return Authenticate(port, false, keyNo, key, keyLen);
}

int KQLMX_DesfireAuthenticateAes(int port, int keyNo, const void* key, int keyLen) {
    return Authenticate(port, true, keyNo, key, keyLen);
}

int KQLMX_DesfireSelectApplication(int port, int aid) {
    auto found = App().FindPort(port);
    return Result(found && kq::DesfireSelectApplication(*found, static_cast<uint32_t>(aid) & 0xFFFFFF));
}

int KQLMX_DesfireGetApplicationIds(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes aids;
    if (!found || !kq::DesfireGetApplicationIds(*found, aids)) return -1;
    return CopyList(*found, aids, buf, len);
}

int KQLMX_DesfireGetDfNames(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes entries;
    if (!found || !kq::DesfireGetDfNames(*found, entries)) return -1;
    return CopyList(*found, entries, buf, len);
}

int KQLMX_DesfireGetFreeMemory(int port) {
    auto found = App().FindPort(port);
    uint32_t bytes = 0;
    if (!found || !kq::DesfireGetFreeMemory(*found, bytes)) return -1;
    return static_cast<int>(bytes);
}

int KQLMX_DesfireGetKeySettings(int port, int* keySettings, int* keyCount) {
    auto found = App().FindPort(port);
    uint8_t settings = 0;
    uint8_t count = 0;
    if (!found || !kq::DesfireGetKeySettings(*found, settings, count)) return -1;
    if (keySettings) *keySettings = settings;
    if (keyCount) *keyCount = count;
    return 0;
}

int KQLMX_DesfireChangeKeySettings(int port, int keySettings) {
    auto found = App().FindPort(port);
    return Result(found && kq::DesfireChangeKeySettings(*found, static_cast<uint8_t>(keySettings)));
}

int KQLMX_DesfireChangeKey(int port, int keyNo, const void* newKey, int newKeyLen, int keyVersion,
                           const void* oldKey, int oldKeyLen, int keyType) {
    auto found = App().FindPort(port);
    return Result(found && kq::DesfireChangeKey(*found, keyNo, BytesArg(newKey, newKeyLen),
                                                static_cast<uint8_t>(keyVersion), BytesArg(oldKey, oldKeyLen),
                                                keyType));
}

int KQLMX_DesfireCreateApplication(int port, int aid, int crypto, int keyCount, int iso, int changeKeyAccess,
                                   int keySettings, const void* isoData, int isoDataLen) {
    auto found = App().FindPort(port);
    if (found && BytesArg(isoData, isoDataLen).size() > 18) {
        found->lastError = KQLMX_ERROR_DATA_TOO_LONG; // an ISO file id and a DF name of at most 16 bytes
        return -1;
    }
    return Result(found && kq::DesfireCreateApplication(*found, static_cast<uint32_t>(aid) & 0xFFFFFF, crypto,
                                                        keyCount, iso != 0, changeKeyAccess, keySettings,
                                                        BytesArg(isoData, isoDataLen)));
}

int KQLMX_DesfireCreateDataFile(int port, int fileNo, int isoFileId, int size, int commSettings,
                                int accessRights) {
    auto found = App().FindPort(port);
    return Result(found && InRange(*found, {size}) &&
                  kq::DesfireCreateDataFile(*found, fileNo, isoFileId, static_cast<uint32_t>(size),
                                            commSettings, accessRights));
}

int KQLMX_DesfireGetFileIds(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes ids;
    if (!found || !kq::DesfireGetFileIds(*found, ids)) return -1;
    return CopyAnswer(*found, ids, buf, len);
}

int KQLMX_DesfireGetFileSettings(int port, int fileNo, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes settings;
    if (!found || !kq::DesfireGetFileSettings(*found, fileNo, settings)) return -1;
    // The settings begin with file type, communication settings and access rights;
    // a caller that wants only those gets the first bytes.
    const size_t n = std::min(settings.size(), buf && len > 0 ? static_cast<size_t>(len) : 0);
    std::copy_n(settings.begin(), n, buf);
    return static_cast<int>(n);
}

int KQLMX_DesfireChangeFileSettings(int port, int fileNo, int commSettings, int accessRights, int plain) {
    auto found = App().FindPort(port);
    return Result(found &&
                  kq::DesfireChangeFileSettings(*found, fileNo, commSettings, accessRights, plain != 0));
}

int KQLMX_DesfireReadData(int port, int fileNo, int commMode, int offset, int length, unsigned char* buf,
                          int len) {
    auto found = App().FindPort(port);
    Bytes data;
    if (!found || !InRange(*found, {offset, length}) ||
        !kq::DesfireReadData(*found, fileNo, commMode, static_cast<uint32_t>(offset),
                             static_cast<uint32_t>(length), data))
        return -1;
    return CopyAnswer(*found, data, buf, len);
}

int KQLMX_DesfireWriteData(int port, int fileNo, int commMode, int offset, const void* data, int len) {
    auto found = App().FindPort(port);
    return Result(
        found && InRange(*found, {offset}) &&
        kq::DesfireWriteData(*found, fileNo, commMode, static_cast<uint32_t>(offset), BytesArg(data, len)));
}

int KQLMX_IsoSelectByName(int port, const void* name, int len) {
    auto found = App().FindPort(port);
    return Result(found && kq::IsoSelectByName(*found, BytesArg(name, len)));
}

int KQLMX_IsoSelectFile(int port, int fileId) {
    auto found = App().FindPort(port);
    return Result(found && kq::IsoSelectFile(*found, static_cast<uint16_t>(fileId)));
}

int KQLMX_IsoReadBinary(int port, int offset, int length, unsigned char* buf, int bufSize) {
    auto found = App().FindPort(port);
    Bytes data;
    if (!found || !InRange(*found, {offset, length}) ||
        !kq::IsoReadBinary(*found, static_cast<uint32_t>(offset), static_cast<size_t>(length), data))
        return -1;
    const size_t n = std::min(data.size(), buf && bufSize > 0 ? static_cast<size_t>(bufSize) : 0);
    std::copy_n(data.begin(), n, buf);
    return static_cast<int>(n);
}

int KQLMX_IsoUpdateBinary(int port, int offset, const void* data, int len) {
    auto found = App().FindPort(port);
    return Result(found && InRange(*found, {offset}) &&
                  kq::IsoUpdateBinary(*found, static_cast<uint32_t>(offset), BytesArg(data, len)));
}

} // extern "C"
