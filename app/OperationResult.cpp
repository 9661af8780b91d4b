#include "app/OperationResult.h"

#include "content/TagErrorCode.h"

#include "kqlmx.h"

#include <algorithm>
#include <iterator>

namespace {

struct ErrorRow {
    int lastError;
    ResultCode result;
};

constexpr int E = OperationResult::kError;
constexpr int T = OperationResult::kTagDataError;

constexpr ErrorRow kErrorRows[] = {
    {KQLMX_ERROR_NO_SUCH_PORT, {E, 12}},
    {kTagErrorNoTag, {E, 13}},
    {kTagErrorTypeNotSupported, {E, 15}},
    {kTagErrorKeyChangeNotType4, {T, 16}},
    {kTagErrorNotNfcFormatted, {E, 17}},
    {kTagErrorClassicAuthentication, {E, 30}},
    {kTagErrorDesfireCardAuthentication, {E, 31}},
    {kTagErrorDesfireAppAuthentication, {E, 32}},
    {kTagErrorDesfireSettingsChange, {E, 34}},
    {kTagErrorDesfireKeyChange, {E, 33}},
    {kTagErrorVicinityBlockLock, {E, 23}},
    {kTagErrorFormat, {E, 28}},
    {kTagErrorMappingVersionNewer, {T, 35}},
    {kTagErrorMappingVersionOlder, {T, 36}},
    {kTagErrorWriteProtected, {E, 21}},
    {kTagErrorNfcReadProtection, {T, 22}},
    {kTagErrorNfcWriteProtection, {T, 20}},
    {kTagErrorBlockRead, {E, 24}},
    {kTagErrorBlockWrite, {E, 25}},
    {kTagErrorDesfireFileWrite, {E, 26}},
    {kTagErrorMessageTooLarge, {E, 27}},
    {kTagErrorNdefAppNotFound, {E, 29}},
    {kTagErrorFormattedWithoutContent, {E, 18}},
    {kTagErrorNfcData, {T, 37}},
    {kTagErrorUriFormat, {T, 38}},
    {kTagErrorMimeFormat, {T, 39}},
    {kTagErrorUnknownDataType, {T, 40}},
    {0x2001C, {T, 41}}, // NFC data, but no web address where one was wanted
};

} // namespace

ResultCode SdkErrorToResultIndex(int lastError) {
    const auto* row = std::find_if(std::begin(kErrorRows), std::end(kErrorRows),
                                   [lastError](const ErrorRow& r) { return r.lastError == lastError; });
    return row != std::end(kErrorRows) ? row->result : ResultCode{E, OperationResult::kUnknownError};
}
