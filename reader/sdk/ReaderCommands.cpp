#include "reader/sdk/ReaderCommands.h"

#include "kqlmx.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

namespace kq {

namespace {

struct BaudRateCode {
    int rate;
    uint8_t code;
};

constexpr BaudRateCode kBaudCodes[] = {
    {2400, 0},   {4800, 1},   {9600, 2},   {19200, 3},  {38400, 4},    {57600, 5},
    {115200, 6}, {230400, 7}, {460800, 8}, {921600, 9}, {1382400, 10},
};

constexpr uint8_t kFirmwareQuery[] = {'F', 'V'};
constexpr uint8_t kTypeTwoPlaceholder[] = {0x04, 0x05, 0x31, 0x35};

bool IsPrintableAnswer(const Bytes& answer) {
    return std::all_of(answer.begin(), answer.end(), [](uint8_t b) { return b > 0x20; });
}

void SetTypeDigits(Bytes& answer, const char (&digits)[4]) {
    std::copy(digits, digits + 3, answer.begin());
}

} // namespace

bool SendCommand(CKQ_LMX_Port& port, uint8_t command, std::span<const uint8_t> data, Bytes* answer) {
    Bytes frame{command};
    frame.insert(frame.end(), data.begin(), data.end());
    if (!port.Transceive(frame)) return false;
    return answer ? port.ReceiveAnswer(*answer) : port.ReceiveAck();
}

bool QueryVersion(CKQ_LMX_Port& port, Bytes& answer) {
    if (!SendCommand(port, kCmdVersion, {}, &answer)) return false;
    if (port.protocolType == 2 && answer.size() == 4) {
        const bool placeholder = std::equal(answer.begin(), answer.end(), std::begin(kTypeTwoPlaceholder));
        SetTypeDigits(answer, "171");
        if (placeholder) {
            Bytes firmware;
            if (SendCommand(port, kCmdVersion, kFirmwareQuery, &firmware) && firmware.size() >= 4 &&
                !std::equal(firmware.begin(), firmware.end(), std::begin(kTypeTwoPlaceholder),
                            std::end(kTypeTwoPlaceholder)) &&
                IsPrintableAnswer(firmware))
                answer = firmware;
        }
    } else if (port.protocolType == 3 && answer.size() == 9) {
        answer.erase(answer.begin(), answer.begin() + 4);
        answer.erase(answer.begin() + 4);
        SetTypeDigits(answer, "117");
    }
    return true;
}

bool SetRfFieldOnPort(CKQ_LMX_Port& port, bool on) {
    const uint8_t data[] = {static_cast<uint8_t>(on ? 1 : 0)};
    return SendCommand(port, kCmdRfField, data, nullptr);
}

uint8_t BaudCode(int baud) {
    for (const BaudRateCode& entry : kBaudCodes) {
        if (entry.rate == baud) return entry.code;
    }
    return 3;
}

bool SetBaudRateOnPort(CKQ_LMX_Port& port, int baud, int mode) {
    if (!port.IsComPort()) {
        // A Bluetooth reader keeps its own rate: only the line to the module changes.
        // A rate the module line refused is told, not taken for done.
        if (port.Bluetooth().IsOpen() && port.Bluetooth().SetBaudRate(baud)) return true;
        port.lastError = KQLMX_ERROR_BAUD_NOT_CHANGEABLE;
        return false;
    }
    // The mode travels in the high nibble; a larger one would reach the reader cut
    // to another mode while this side kept its line, and the two would no longer
    // understand each other.
    if (mode < 0 || mode > 15) {
        port.lastError = KQLMX_ERROR_DATA_TOO_LONG;
        return false;
    }
    const uint8_t code = BaudCode(baud);
    const uint8_t data[] = {static_cast<uint8_t>(code | (mode << 4))};
    if (!SendCommand(port, kCmdBaudRate, data, nullptr)) return false;

    platform::LineSettings settings = port.Serial().LineSettings();
    switch (mode) {
    case 0:
        settings.stopBits = 1, settings.parity = platform::Parity::None;
        break;
    case 1:
        settings.stopBits = 1, settings.parity = platform::Parity::Even;
        break;
    case 2:
        settings.stopBits = 1, settings.parity = platform::Parity::Odd;
        break;
    case 3:
        settings.stopBits = 2, settings.parity = platform::Parity::None;
        break;
    default:
        break;
    }
    // The line follows the rate the reader switched to: a rate without its own code
    // sent 19200.
    settings.baudRate =
        std::find_if(std::begin(kBaudCodes), std::end(kBaudCodes), [code](const BaudRateCode& e) {
            return e.code == code;
        })->rate;
    if (!port.Serial().SetLineSettings(settings)) return false;
    // The reader needs a moment before it listens at the new rate.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
}

} // namespace kq
