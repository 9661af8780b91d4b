// The reader's ISO/IEC 15693 requests on one port, sent through its transparent
// command 0x20: [0x20, flags byte, ISO command, UID when addressed, parameters]. The
// flags argument is that of the flat API (KQLMX_ISO15693_*: the flags byte in the low 8
// bits, variants above); the maker variants follow the IC manufacturer code of the UID
// (ISO/IEC 7816-6: 0x02 STMicroelectronics, 0x04 NXP, 0x05 Infineon, 0x07 Texas
// Instruments, 0x08 Fujitsu, 0x16 EM Microelectronic). A UID is taken only when it is
// 8 bytes (least significant byte first). Each function answers true/false and leaves
// the reason of a failure in the port's lastError; answers are the tag's response
// after its flags byte.
#pragma once

#include "reader/transport/KQ_LMX_Port.h"

#include <span>

namespace kq {

inline constexpr uint8_t kCmdIso15693 = 0x20;
inline constexpr size_t kInventoryRecordSize = 11; // status, response flags, DSFID, UID

// The 11-byte records of the tags found: 16 slots (one with the one-slot flag); the
// inventory flag is added unless the flags are raw. A colliding slot is asked again
// with the slot number appended to the mask; one that still collides at mask length
// 60 (tags whose UIDs cannot be told apart), or after 256 rounds, fails the inventory
// with 23. An answer that ends before its last slot: 6.
bool Iso15693Inventory(CKQ_LMX_Port& port, int flags, Bytes& records);
bool Iso15693GetSystemInfo(CKQ_LMX_Port& port, std::span<const uint8_t> uid, int flags, Bytes& info);
// Null outputs are skipped; each is set only when the system information holds it.
bool Iso15693GetMemorySize(CKQ_LMX_Port& port, std::span<const uint8_t> uid, int flags, int* blockCount,
                           int* blockSize, int* icManufacturer);
bool Iso15693ReadBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> uid, int flags, Bytes& data);
bool Iso15693ReadBlocks(CKQ_LMX_Port& port, int first, int count, std::span<const uint8_t> uid, int flags,
                        Bytes& data);
bool Iso15693WriteBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> data,
                        std::span<const uint8_t> uid, int flags);
bool Iso15693LockBlock(CKQ_LMX_Port& port, int block, std::span<const uint8_t> uid, int flags);
bool Iso15693GetBlockSecurity(CKQ_LMX_Port& port, int first, int count, std::span<const uint8_t> uid,
                              int flags, Bytes& status);

} // namespace kq
