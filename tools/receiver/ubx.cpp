#include "tools/receiver/ubx.h"

#include <cstdlib>

namespace corvantis::receiver::ubx {
namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// A NUL-padded text field of a fixed width.
std::string textField(std::span<const uint8_t> bytes) {
  std::string text;
  for (const uint8_t b : bytes) {
    if (b == 0) break;
    text += static_cast<char>(b);
  }
  return text;
}

}  // namespace

std::pair<uint8_t, uint8_t> checksum(std::span<const uint8_t> classToPayloadEnd) {
  uint8_t a = 0, b = 0;
  for (const uint8_t byte : classToPayloadEnd) {
    a = static_cast<uint8_t>(a + byte);
    b = static_cast<uint8_t>(b + a);
  }
  return {a, b};
}

std::vector<uint8_t> frame(uint8_t messageClass, uint8_t id, std::span<const uint8_t> payload) {
  std::vector<uint8_t> out{kSync1, kSync2, messageClass, id};
  put16(out, static_cast<uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
  const auto [a, b] = checksum(std::span<const uint8_t>(out).subspan(2));
  out.push_back(a);
  out.push_back(b);
  return out;
}

std::vector<uint8_t> monVerPoll() { return frame(kClassMon, kMonVer); }

std::vector<uint8_t> cfgRate(uint16_t periodMs) {
  std::vector<uint8_t> payload;
  put16(payload, periodMs);
  put16(payload, 1);  // one measurement a navigation solution
  put16(payload, 1);  // measurements aligned to GPS time, as the receivers come
  return frame(kClassCfg, kCfgRate, payload);
}

std::vector<uint8_t> cfgPrtUart1(uint32_t baud) {
  std::vector<uint8_t> payload;
  payload.push_back(1);        // port: UART1
  payload.push_back(0);        // reserved
  put16(payload, 0);           // no TX-ready pin
  put32(payload, 0x000008D0);  // 8 data bits, no parity, 1 stop bit
  put32(payload, baud);
  put16(payload, 0x0007);      // in: UBX, NMEA, RTCM
  put16(payload, 0x0003);      // out: UBX, NMEA
  put16(payload, 0);           // flags
  put16(payload, 0);           // reserved
  return frame(kClassCfg, kCfgPrt, payload);
}

std::vector<uint8_t> cfgMsg(uint8_t nmeaId, uint8_t rate) {
  const uint8_t payload[] = {kClassNmea, nmeaId, rate};
  return frame(kClassCfg, kCfgMsg, payload);
}

std::vector<uint8_t> cfgCfgSave() {
  std::vector<uint8_t> payload;
  put32(payload, 0);           // clear nothing
  put32(payload, 0x00001F1F);  // save every section: ports, messages, navigation, ...
  put32(payload, 0);           // load nothing
  payload.push_back(0x17);     // to battery-backed RAM, flash, EEPROM and SPI flash
  return frame(kClassCfg, kCfgCfg, payload);
}

int valueSize(uint32_t key) {
  switch ((key >> 28) & 0x7) {
    case 1:  // one bit, sent as a byte
    case 2: return 1;
    case 3: return 2;
    case 4: return 4;
    default: return 0;
  }
}

std::vector<uint8_t> cfgValset(uint8_t layers, std::span<const KeyValue> values) {
  std::vector<uint8_t> payload{0, layers, 0, 0};  // version 0, layers, reserved
  for (const KeyValue& kv : values) {
    put32(payload, kv.key);
    const int size = valueSize(kv.key);
    for (int i = 0; i < size; ++i) payload.push_back(static_cast<uint8_t>((kv.value >> (8 * i)) & 0xFF));
  }
  return frame(kClassCfg, kCfgValset, payload);
}

double Version::protocolVersion() const {
  for (const std::string& e : extensions) {
    if (e.rfind("PROTVER", 0) != 0 || e.size() < 9) continue;
    // "PROTVER=18.00" on newer receivers, "PROTVER 14.00" on some older.
    return std::strtod(e.c_str() + 8, nullptr);
  }
  return 0.0;
}

std::string Version::describe() const {
  std::string text = software;
  if (!hardware.empty()) text += ", hardware " + hardware;
  for (const std::string& e : extensions) text += ", " + e;
  return text;
}

std::optional<Version> parseMonVer(std::span<const uint8_t> payload) {
  // 30 bytes of software version, 10 of hardware version, then any number
  // of 30-byte extensions.
  if (payload.size() < 40 || (payload.size() - 40) % 30 != 0) return std::nullopt;
  Version version;
  version.software = textField(payload.subspan(0, 30));
  version.hardware = textField(payload.subspan(30, 10));
  for (std::size_t at = 40; at < payload.size(); at += 30) {
    const std::string extension = textField(payload.subspan(at, 30));
    if (!extension.empty()) version.extensions.push_back(extension);
  }
  return version;
}

}  // namespace corvantis::receiver::ubx
