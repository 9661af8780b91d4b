#include "ReaderFirmware.h"

#include <cstdio>

namespace kqsim {

std::uint8_t answerStatus(int protocolType, std::uint8_t wireCommand, const ReaderReply& reply) {
  if (protocolType <= 1) {
    switch (reply.kind) {
      case ReaderReply::Kind::Ok: return 0x00;
      case ReaderReply::Kind::More: return 0x20;
      case ReaderReply::Kind::Error: break;
    }
    switch (reply.error) {
      case ReaderError::NoTag: return 0x01;
      case ReaderError::Collision: return 0x03;
      case ReaderError::AuthFailed: return 0x04;
      case ReaderError::TagRefused: return 0x05;
      case ReaderError::UnknownCommand: return 0x0A;
      case ReaderError::BadParameter: return 0x0B;
      case ReaderError::AnswerTooLong: return 0x0C;
    }
    return 0x0B;
  }
  if (reply.kind != ReaderReply::Kind::Error) return wireCommand;
  switch (reply.error) {
    case ReaderError::NoTag: return 0xC4;
    case ReaderError::Collision: return 0xCC;
    case ReaderError::AuthFailed: return 0xA4;
    case ReaderError::TagRefused: return 0x88;
    default: return 0xA0;
  }
}

ReaderFirmware::ReaderFirmware(const ReaderConfig& config, FrameLog& log)
    : config_(config), log_(log), baud_(config.baud), lineMode_(config.lineMode), rfField_(config.rfField) {}

void ReaderFirmware::setLine(int baud, int lineMode) {
  baud_ = baud;
  lineMode_ = lineMode;
}

std::optional<LineSettings> ReaderFirmware::takeLineChange() {
  auto change = lineChange_;
  lineChange_.reset();
  return change;
}

ReaderFirmware::Op ReaderFirmware::decode(std::uint8_t command) const {
  switch (command) {
    case 0x30: return Op::Request;
    case 0x31: return Op::Select;
    case 0x33: return Op::Authenticate;
    case 0x34: return Op::ReadBlock;
    case 0x35: return Op::WriteBlock;
    case 0x3A: return Op::Bank;
    case 0x41: return Op::Activate;
    case 0x45: return Op::Apdu;
    case 0x46: return Op::ApduNext;
    case 0xF2: return Op::BaudRate;
    default: break;
  }
  switch (config_.protocolType) {
    case 0:
    case 1:
      switch (command) {
        case 0xF0: return Op::Version;
        case 0xF5: return Op::RfField;
        case 0xF6: return Op::Outputs;
        case 0xFF: return Op::UsbMode;
        case 0x20: return Op::Iso15693;
        default: return Op::Unknown;
      }
    case 2:
      switch (command) {
        case 0x0B: return Op::Version;
        case 0x0C: return Op::RfOn;
        case 0x0D: return Op::RfOff;
        case 0x07: return Op::Outputs;
        case 0x0F: return Op::UsbMode;
        case 0x28: return Op::Iso15693;
        default: return Op::Unknown;
      }
    default:
      switch (command) {
        case 0x60: return Op::Version;
        case 0x0C: return Op::RfOn;
        case 0x0D: return Op::RfOff;
        case 0x07: return Op::Outputs;
        case 0xFF: return Op::UsbMode;
        case 0x21: return Op::Iso15693;
        default: return Op::Unknown;
      }
  }
}

ReaderReply ReaderFirmware::execute(const Request& request) {
  const Bytes& d = request.data;
  switch (decode(request.command)) {
    case Op::Version: return version(d);
    case Op::BaudRate: return baudRate(d);
    case Op::RfField:
      if (d.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
      return setRfField(d[0] != 0);
    case Op::RfOn: return setRfField(true);
    case Op::RfOff: return setRfField(false);
    case Op::Outputs: return setOutputs(d);
    case Op::UsbMode: return setUsbMode(d);
    case Op::Unknown: return ReaderReply::fail(ReaderError::UnknownCommand);
    default:
      // Tag commands: no tag can answer in an empty field.
      return ReaderReply::fail(ReaderError::NoTag);
  }
}

ReaderReply ReaderFirmware::version(const Bytes& data) const {
  std::string text = versionText(config_.typeCode, config_.firmwareDigit);
  if (config_.protocolType == 2) {
    // Readers of this protocol answer the plain version command with a fixed
    // short identification (04 05 "15"); their model and firmware come with the
    // "FV" sub-command.
    if (data == Bytes{'F', 'V'}) return ReaderReply::ok(Bytes(text.begin(), text.end()));
    return ReaderReply::ok({0x04, 0x05, '1', '5'});
  }
  if (config_.protocolType == 3) {
    // Nine bytes: a four-byte hardware identification ("KQ", protocol 3, revision 1),
    // the four version characters and a closing zero.
    Bytes answer{'K', 'Q', 0x03, 0x01};
    answer.insert(answer.end(), text.begin(), text.end());
    answer.push_back(0x00);
    return ReaderReply::ok(std::move(answer));
  }
  return ReaderReply::ok(Bytes(text.begin(), text.end()));
}

ReaderReply ReaderFirmware::baudRate(const Bytes& data) {
  if (data.size() != 1) return ReaderReply::fail(ReaderError::BadParameter);
  int rate = baudForCode(data[0] & 0x0F);
  int mode = data[0] >> 4;
  if (rate < 0 || mode > kLine8N2) return ReaderReply::fail(ReaderError::BadParameter);
  lineChange_ = LineSettings{rate, mode, true};
  return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setRfField(bool on) {
  if (on != rfField_) log_.event(on ? "RF field on" : "RF field off");
  rfField_ = on;
  return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setOutputs(const Bytes& data) {
  if (data.size() != 2) return ReaderReply::fail(ReaderError::BadParameter);
  std::uint8_t mask = data[0];
  std::uint8_t value = data[1];
  outputs_ = static_cast<std::uint8_t>((outputs_ & ~mask) | (value & mask));
  auto now = Clock::now();
  outputHistory_.push_back({now, mask, value, outputs_});
  char text[64];
  std::snprintf(text, sizeof text, "outputs mask %02X value %02X -> %02X", mask, value, outputs_);
  log_.event(text, now);
  return ReaderReply::ok();
}

ReaderReply ReaderFirmware::setUsbMode(const Bytes& data) {
  // 1 HID, 2 virtual COM. The simulator records the mode and keeps serving the line it
  // is on; a real reader would come back as the other kind of USB device.
  if (data.size() != 1 || (data[0] != 1 && data[0] != 2)) return ReaderReply::fail(ReaderError::BadParameter);
  usbMode_ = data[0];
  log_.event(usbMode_ == 1 ? "USB mode HID" : "USB mode virtual COM");
  return ReaderReply::ok();
}

}  // namespace kqsim
