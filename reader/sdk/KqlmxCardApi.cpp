// The flat functions of the ISO 14443 type A and ISO 15693 command families: each
// finds the port, converts the caller's buffers and calls one command.
#include "kqlmx.h"

#include "reader/sdk/FlatCall.h"
#include "reader/sdk/Iso14443Commands.h"
#include "reader/sdk/Iso15693Commands.h"

#include <algorithm>

using kq::App;
using kq::Bytes;
using kq::BytesArg;
using kq::CopyAnswer;
using kq::Result;

namespace {

// Copies as much of the answer as the buffer takes, in whole units of `unit` bytes;
// the bytes copied.
int CopyCut(const Bytes& answer, unsigned char* out, int outLen, size_t unit = 1) {
    const size_t capacity = out && outLen > 0 ? static_cast<size_t>(outLen) / unit * unit : 0;
    const size_t n = std::min(answer.size(), capacity);
    std::copy_n(answer.begin(), n, out);
    return static_cast<int>(n);
}

} // namespace

extern "C" {

// ---- ISO/IEC 14443 type A --------------------------------------------------------

int KQLMX_RequestTag(int port, short* atqa) {
    auto found = App().FindPort(port);
    uint16_t value = 0;
    if (!found || !kq::RequestTypeA(*found, value)) return -1;
    if (atqa) *atqa = static_cast<short>(value);
    return 0;
}

int KQLMX_SelectTag(int port, unsigned char* uid, int len, char* sak) {
    if (sak) *sak = 0;
    auto found = App().FindPort(port);
    uint8_t selected = 0;
    Bytes id;
    const size_t capacity = uid && len > 0 ? static_cast<size_t>(len) : 0;
    if (!found || !kq::SelectTypeA(*found, capacity, selected, id)) return -1;
    if (sak) *sak = static_cast<char>(selected);
    return CopyCut(id, uid, len);
}

int KQLMX_RequestAts(int port, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes ats;
    if (!found || !kq::RequestAts(*found, ats)) return -1;
    return CopyAnswer(*found, ats, buf, len);
}

int KQLMX_AuthenticateBlock(int port, const void* prefix, int prefixLen, int keyType, const void* key,
                            int keyLen, int block) {
    auto found = App().FindPort(port);
    return Result(found && kq::AuthenticateBlock(*found, BytesArg(prefix, prefixLen), keyType,
                                                 BytesArg(key, keyLen), block));
}

int KQLMX_ReadBlock(int port, int block, unsigned char* buf, int len) {
    auto found = App().FindPort(port);
    Bytes data;
    if (!found || !kq::ReadBlock(*found, block, data)) return -1;
    return CopyCut(data, buf, len);
}

int KQLMX_WriteBlock(int port, int block, const void* data, int len) {
    auto found = App().FindPort(port);
    return Result(found && kq::WriteBlock(*found, block, BytesArg(data, len)));
}

// ---- ISO/IEC 15693 ----------------------------------------------------------------

int KQLMX_Iso15693Inventory(int port, unsigned char* buf, int len, int flags) {
    auto found = App().FindPort(port);
    Bytes records;
    if (!found || !kq::Iso15693Inventory(*found, flags, records)) return -1;
    return CopyCut(records, buf, len, kq::kInventoryRecordSize);
}

int KQLMX_Iso15693GetSystemInfo(int port, unsigned char* out, int outLen, const void* uid, int uidLen,
                                int flags) {
    auto found = App().FindPort(port);
    Bytes info;
    if (!found || !kq::Iso15693GetSystemInfo(*found, BytesArg(uid, uidLen), flags, info)) return -1;
    return CopyAnswer(*found, info, out, outLen);
}

int KQLMX_Iso15693GetMemorySize(int port, const void* uid, int uidLen, int* blockCount, int* blockSize,
                                int* icManufacturer, int flags) {
    auto found = App().FindPort(port);
    return Result(found && kq::Iso15693GetMemorySize(*found, BytesArg(uid, uidLen), flags, blockCount,
                                                     blockSize, icManufacturer));
}

int KQLMX_Iso15693ReadBlock(int port, int block, unsigned char* out, int outLen, const void* uid, int uidLen,
                            int flags) {
    auto found = App().FindPort(port);
    Bytes data;
    if (!found || !kq::Iso15693ReadBlock(*found, block, BytesArg(uid, uidLen), flags, data)) return -1;
    return CopyAnswer(*found, data, out, outLen);
}

int KQLMX_Iso15693ReadBlocks(int port, int first, int count, unsigned char* out, int outLen, const void* uid,
                             int uidLen, int flags) {
    auto found = App().FindPort(port);
    Bytes data;
    if (!found || !kq::Iso15693ReadBlocks(*found, first, count, BytesArg(uid, uidLen), flags, data))
        return -1;
    return CopyAnswer(*found, data, out, outLen);
}

int KQLMX_Iso15693WriteBlocks(int port, int block, const void* data, int dataLen, const void* uid, int uidLen,
                              int flags) {
    auto found = App().FindPort(port);
    return Result(found && kq::Iso15693WriteBlock(*found, block, BytesArg(data, dataLen),
                                                  BytesArg(uid, uidLen), flags));
}

int KQLMX_Iso15693LockBlock(int port, int block, const void* uid, int uidLen, int flags) {
    auto found = App().FindPort(port);
    return Result(found && kq::Iso15693LockBlock(*found, block, BytesArg(uid, uidLen), flags));
}

int KQLMX_Iso15693GetBlockSecurity(int port, int first, int count, unsigned char* out, int outLen,
                                   const void* uid, int uidLen, int flags) {
    auto found = App().FindPort(port);
    Bytes status;
    if (!found || !kq::Iso15693GetBlockSecurity(*found, first, count, BytesArg(uid, uidLen), flags, status))
        return -1;
    return CopyAnswer(*found, status, out, outLen);
}

} // extern "C"
