#pragma once

#include <QString>

// The result of the last tag operation, which the main frame turns into a status
// text and icon and the document into beeps. Every reader takes state 0 as success,
// -1 as nothing to show and any other state as an error.
struct OperationResult {
    // States.
    static constexpr int kNone = -1;
    static constexpr int kSuccess = 0;
    static constexpr int kError = 1;
    static constexpr int kTagDataError = 2;  // concerns the tag's type or its NFC data
    static constexpr int kUnknownRecord = 3; // a record of an unknown kind was read

    // Message indexes the engine sets (the others come from the reader's last error).
    static constexpr int kRead = 1;    // also a polled UID
    static constexpr int kWritten = 2; // also formatted
    static constexpr int kLocked = 3;
    static constexpr int kPortReady = 4;
    static constexpr int kKeySet = 5;
    static constexpr int kTemplateLoaded = 6;
    static constexpr int kTemplateSaved = 7; // the extra text holds the file name
    static constexpr int kDataListLoaded = 8;
    static constexpr int kUnknownError = 9;
    static constexpr int kCancelled = 10;
    static constexpr int kNoConnection = 12;
    static constexpr int kNoTag = 13;
    static constexpr int kTooManyCharacters = 27; // the extra number holds how many
    static constexpr int kUnknownDataType = 40;

    int state = kNone;
    int index = 0;
    int extraNumber = 0;
    QString extraText;
};

// State and message index for a reader's last error (KQLMX_GetLastError).
struct ResultCode {
    int state;
    int index;
    bool operator==(const ResultCode&) const = default;
};

// Unlisted errors give (kError, kUnknownError).
ResultCode SdkErrorToResultIndex(int lastError);
