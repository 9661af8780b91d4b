#pragma once
// The tag layer's error codes, kept as the port's last error (PortErrorCode).
// The content conversions raise kTagErrorNfcData (bad TLV), kTagErrorUriFormat,
// kTagErrorMimeFormat and kTagErrorUnknownDataType; the reader layer raises the rest.

#include <cstdint>

enum TagErrorCode : int32_t {
    kTagErrorNoTag = 0x20001,             // no tag in the field
    kTagErrorTypeNotSupported = 0x20002,  // tag type not supported
    kTagErrorKeyChangeNotType4 = 0x20003, // key change asked for a tag that is not Type 4
    kTagErrorNotNfcFormatted = 0x20004,   // no or bad capability container, no NDEF area
    kTagErrorClassicAuthentication = 0x20005,
    kTagErrorDesfireCardAuthentication = 0x20006,
    kTagErrorDesfireAppAuthentication = 0x20007,
    kTagErrorDesfireSettingsChange = 0x20008,
    kTagErrorDesfireKeyChange = 0x20009,
    kTagErrorVicinityBlockLock = 0x2000A,
    kTagErrorFormat = 0x2000B,
    kTagErrorMappingVersionNewer = 0x2000C,
    kTagErrorMappingVersionOlder = 0x2000D,
    kTagErrorWriteProtected = 0x2000E, // blocks, sectors or file not writable
    kTagErrorNfcReadProtection = 0x2000F,
    kTagErrorNfcWriteProtection = 0x20010,
    kTagErrorBlockRead = 0x20011,
    kTagErrorBlockWrite = 0x20012,
    kTagErrorDesfireFileWrite = 0x20013,
    kTagErrorMessageTooLarge = 0x20014,
    kTagErrorNdefAppNotFound = 0x20015,
    kTagErrorFormattedWithoutContent = 0x20016,
    kTagErrorNfcData = 0x20017,         // error in the NFC data (bad TLV or capability container)
    kTagErrorUriFormat = 0x20018,       // unsupported URI format
    kTagErrorMimeFormat = 0x20019,      // unsupported MIME format
    kTagErrorUnknownDataType = 0x2001B, // record JSON text of an unknown kind
};
