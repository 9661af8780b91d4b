#include "platform/HidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kq::platform {

namespace {

// Item tags (the prefix byte without its size bits).
constexpr uint8_t kMainInput = 0x80;
constexpr uint8_t kMainOutput = 0x90;
constexpr uint8_t kGlobalReportSize = 0x74;
constexpr uint8_t kGlobalReportId = 0x84;
constexpr uint8_t kGlobalReportCount = 0x94;
constexpr uint8_t kGlobalPush = 0xA4;
constexpr uint8_t kGlobalPop = 0xB4;
constexpr uint8_t kLongItem = 0xFE;

// Deeper Push nesting than any real device uses; a descriptor beyond it is broken.
constexpr size_t kMaxPushDepth = 32;
// Bits of one report beyond which its length no longer matters (far above 64 bytes).
constexpr uint64_t kBitCap = 1u << 20;

struct GlobalState {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

} // namespace

HidReportLengths ParseHidReportDescriptor(std::span<const uint8_t> descriptor) {
    HidReportLengths result;
    std::array<uint64_t, 256> inputBits{}, outputBits{};
    std::array<bool, 256> hasInput{}, hasOutput{};
    GlobalState state;
    std::vector<GlobalState> stack;
    size_t pos = 0;
    while (pos < descriptor.size()) {
        const uint8_t prefix = descriptor[pos];
        if (prefix == kLongItem) {
            // FE, data size, tag, data: carries nothing about report sizes.
            if (pos + 3 > descriptor.size()) return result;
            const size_t size = descriptor[pos + 1];
            if (pos + 3 + size > descriptor.size()) return result;
            pos += 3 + size;
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (pos + 1 + size > descriptor.size()) return result;
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        pos += 1 + size;
        switch (prefix & 0xFC) {
        case kGlobalReportSize:
            state.reportSize = value;
            break;
        case kGlobalReportCount:
            state.reportCount = value;
            break;
        case kGlobalReportId:
            state.reportId = static_cast<uint8_t>(value);
            result.numbered = true;
            break;
        case kGlobalPush:
            if (stack.size() == kMaxPushDepth) return result;
            stack.push_back(state);
            break;
        case kGlobalPop:
            if (stack.empty()) return result;
            state = stack.back();
            stack.pop_back();
            break;
        case kMainInput:
        case kMainOutput: {
            const bool input = (prefix & 0xFC) == kMainInput;
            uint64_t& bits = (input ? inputBits : outputBits)[state.reportId];
            (input ? hasInput : hasOutput)[state.reportId] = true;
            bits = std::min(bits + static_cast<uint64_t>(state.reportSize) * state.reportCount, kBitCap);
            break;
        }
        default:
            break;
        }
    }
    for (size_t id = 0; id < 256; ++id) {
        if (hasInput[id])
            result.input = std::max(result.input, static_cast<size_t>((inputBits[id] + 7) / 8 + 1));
        if (hasOutput[id])
            result.output = std::max(result.output, static_cast<size_t>((outputBits[id] + 7) / 8 + 1));
    }
    result.valid = true;
    return result;
}

} // namespace kq::platform
