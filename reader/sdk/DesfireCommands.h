// The DESFire card's native commands and the ISO 7816-4 file commands, sent through the
// reader's APDU exchange, with the card's secure messaging: after an authentication
// every plain command moves the CMAC chain, every good answer carries a CMAC that is
// checked, and keys, key settings and file settings go enciphered with a CRC32 inside.
// Each function answers true/false and leaves the reason in the port's lastError:
// 0x10000 + the card's status (native) or status word (ISO), the codes below, or the
// code of the reader exchange. A failed command ends the session: the card has dropped
// it, so the caller authenticates again.
#pragma once

#include "reader/transport/KQ_LMX_Port.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kq {

class CDatenFuerDesfireInPort;

inline constexpr int kDesfireStatusBase = 0x10000;
inline constexpr int kDesfireKeyLength = 0x10020;
inline constexpr int kDesfireOldKeyMissing = 0x10021;
inline constexpr int kDesfireNoSession = 0x10023;
inline constexpr int kDesfireMacWrong = 0x10024;
inline constexpr int kDesfireCrcWrong = 0x10025;
inline constexpr int kDesfireListTooLong = 0x10026;
inline constexpr int kDesfireDfNamesInSession = 0x10028;
inline constexpr int kDesfireNoStatus = 0xFFFF;
inline constexpr int kIsoEndOfFile = 0x16282;

inline constexpr size_t kDfNameEntrySize = 22;
inline constexpr size_t kDataPiece = 7600;    // bytes of one ReadData / WriteData command
inline constexpr size_t kIsoReadPiece = 80;   // bytes of one READ BINARY
inline constexpr size_t kIsoUpdatePiece = 58; // bytes of one UPDATE BINARY
inline constexpr uint8_t kKeyTypeAes = 2;

// The port's DESFire state, made when missing.
CDatenFuerDesfireInPort& DesfireSession(CKQ_LMX_Port& port);

bool DesfireSetIsoWrapping(CKQ_LMX_Port& port, bool on);
// Authenticates with key `keyNo` (0x1A for DES / two-key triple DES, 0xAA for AES). An
// empty key is 16 zero bytes; any length but 16: 0x10020.
bool DesfireAuthenticate(CKQ_LMX_Port& port, bool aes, int keyNo, std::span<const uint8_t> key);
bool DesfireSelectApplication(CKQ_LMX_Port& port, uint32_t aid);
// The AIDs, 3 bytes each, low byte first.
bool DesfireGetApplicationIds(CKQ_LMX_Port& port, Bytes& aids);
// 22-byte entries: AID (3, low first), ISO file id (2, as the card sends it), DF name
// zero-filled to 16 bytes, DF name length.
bool DesfireGetDfNames(CKQ_LMX_Port& port, Bytes& entries);
bool DesfireGetFreeMemory(CKQ_LMX_Port& port, uint32_t& bytes);
// keyCount: the number of keys (the answer's bits 0-3; its top bits name the crypto,
// given whole in keyCountByte).
bool DesfireGetKeySettings(CKQ_LMX_Port& port, uint8_t& settings, uint8_t& keyCount,
                           uint8_t* keyCountByte = nullptr);
bool DesfireChangeKeySettings(CKQ_LMX_Port& port, uint8_t settings);
// keyType 2 is AES; an empty oldKey when the authenticated key itself is changed.
bool DesfireChangeKey(CKQ_LMX_Port& port, int keyNo, std::span<const uint8_t> newKey, uint8_t keyVersion,
                      std::span<const uint8_t> oldKey, int keyType);
// isoData: ISO file id (2 bytes, low first) and the DF name after it, or empty.
bool DesfireCreateApplication(CKQ_LMX_Port& port, uint32_t aid, int crypto, int keyCount, bool iso,
                              int changeKeyAccess, int keySettings, std::span<const uint8_t> isoData);
// A standard data file; isoFileId 0: none.
bool DesfireCreateDataFile(CKQ_LMX_Port& port, int fileNo, int isoFileId, uint32_t size, int commSettings,
                           int accessRights);
bool DesfireGetFileIds(CKQ_LMX_Port& port, Bytes& ids);
bool DesfireGetFileSettings(CKQ_LMX_Port& port, int fileNo, Bytes& settings);
// plain: the file's change access is free; otherwise the settings go enciphered.
bool DesfireChangeFileSettings(CKQ_LMX_Port& port, int fileNo, int commSettings, int accessRights,
                               bool plain);
// commMode 0 plain, 1 MACed, 3 enciphered.
bool DesfireReadData(CKQ_LMX_Port& port, int fileNo, int commMode, uint32_t offset, uint32_t length,
                     Bytes& data);
bool DesfireWriteData(CKQ_LMX_Port& port, int fileNo, int commMode, uint32_t offset,
                      std::span<const uint8_t> data);

bool IsoSelectByName(CKQ_LMX_Port& port, std::span<const uint8_t> name);
bool IsoSelectFile(CKQ_LMX_Port& port, uint16_t fileId);
// Reads `length` bytes from `offset` in pieces of at most `limit` bytes (and 80).
bool IsoReadBinary(CKQ_LMX_Port& port, uint32_t offset, size_t length, Bytes& data,
                   size_t limit = kIsoReadPiece);
bool IsoUpdateBinary(CKQ_LMX_Port& port, uint32_t offset, std::span<const uint8_t> data,
                     size_t limit = kIsoUpdatePiece);

// --- answer parsers ---
// One GetDfNames answer frame (status byte first) to its 22-byte entry; false for a
// frame that ends the list (shorter than 6 bytes). A DF name longer than 16 bytes is
// malformed: `malformed` set.
bool DfNameEntryFromFrame(std::span<const uint8_t> frame, Bytes& entry, bool& malformed);
// An enciphered ReadData answer once deciphered: the `length` bytes asked for, their
// CRC32 (over them and the status 0x00) and the padding, zeros or 0x80 and zeros;
// false when the CRC32 is wrong or the padding holds anything else.
bool PayloadOfDeciphered(std::span<const uint8_t> plain, size_t length, Bytes& payload);
// Splits a native or wrapped answer into status and data; false when it has no status.
bool SplitNativeAnswer(std::span<const uint8_t> answer, bool wrapped, uint8_t& status, Bytes& data);

} // namespace kq
