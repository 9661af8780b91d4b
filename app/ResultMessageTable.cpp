#include "app/ResultMessageTable.h"

#include "app/OperationResult.h"
#include "res/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

// Message index -> string number of its success and its error text (0: none).
struct ResultMessage {
    int index;
    int successId;
    int errorId;
};

// Indexes 4, 7, 13 and 27 have texts with a field or a choice; see ResultMessageText.
constexpr ResultMessage kResultMessages[] = {
    {1, 151, 0},  {2, 134, 0},  {3, 175, 0},  {5, 207, 0},    {6, 227, 0},  {8, 225, 0},
    {9, 0, 206},  {10, 0, 159}, {11, 0, 136}, {12, 0, 10023}, {15, 0, 141}, {16, 0, 217},
    {17, 0, 152}, {18, 0, 202}, {19, 196, 0}, {20, 0, 142},   {21, 0, 144}, {22, 0, 197},
    {23, 0, 210}, {24, 0, 139}, {25, 0, 153}, {26, 0, 158},   {28, 0, 148}, {29, 0, 208},
    {30, 0, 145}, {31, 0, 215}, {32, 0, 216}, {33, 0, 212},   {34, 0, 211}, {35, 0, 146},
    {36, 0, 147}, {37, 0, 140}, {38, 0, 149}, {39, 0, 150},   {40, 0, 214}, {41, 0, 131},
};

int TableText(int index, bool success) {
    const auto* found = std::find_if(std::begin(kResultMessages), std::end(kResultMessages),
                                     [index](const ResultMessage& m) { return m.index == index; });
    if (found == std::end(kResultMessages)) return 0;
    return success ? found->successId : found->errorId;
}

} // namespace

QString ResultMessageText(int state, int index, int extraNumber, const QString& extraText,
                          const QString& readerName, bool cyclicJobRunning) {
    if (state == -1) return {};
    const bool success = state == 0;
    if (success) {
        if (index == OperationResult::kPortReady) return KqFormat(IdsReaderConnected, {readerName});
        if (index == OperationResult::kTemplateSaved)
            return KqString(IdsTemplateSaved) + QStringLiteral(": ") + extraText;
    } else {
        if (index == OperationResult::kNoTag) return KqString(cyclicJobRunning ? IdsPlaceTag : IdsNoTag);
        if (index == OperationResult::kTooManyCharacters)
            return extraNumber < 1 ? KqString(IdsTooManyCharacters)
                                   : KqFormat(IdsExcessCharacters, {extraNumber});
    }
    const int id = TableText(index, success);
    if (id != 0) return KqString(id);
    return KqString(success ? IdsActionSucceeded : IdsUnknownErrorOccurred);
}
