#pragma once
// The u-blox binary protocol (UBX), as far as setting a receiver's rate,
// baud rate and sentence set needs it, from the maker's public interface
// descriptions: a frame is the sync bytes 0xB5 0x62, class, id, a
// little-endian 16-bit payload length, the payload and a two-byte
// Fletcher checksum over class, id, length and payload.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvantis::receiver::ubx {

inline constexpr uint8_t kSync1 = 0xB5;
inline constexpr uint8_t kSync2 = 0x62;

// Classes and ids used here.
inline constexpr uint8_t kClassAck = 0x05;
inline constexpr uint8_t kAckNak = 0x00;
inline constexpr uint8_t kAckAck = 0x01;
inline constexpr uint8_t kClassCfg = 0x06;
inline constexpr uint8_t kCfgPrt = 0x00;
inline constexpr uint8_t kCfgMsg = 0x01;
inline constexpr uint8_t kCfgRate = 0x08;
inline constexpr uint8_t kCfgCfg = 0x09;
inline constexpr uint8_t kCfgValset = 0x8A;
inline constexpr uint8_t kClassMon = 0x0A;
inline constexpr uint8_t kMonVer = 0x04;
// Standard NMEA sentences as UBX messages (class 0xF0), by sentence id.
inline constexpr uint8_t kClassNmea = 0xF0;
inline constexpr uint8_t kNmeaGga = 0x00;
inline constexpr uint8_t kNmeaGll = 0x01;
inline constexpr uint8_t kNmeaGsa = 0x02;
inline constexpr uint8_t kNmeaGsv = 0x03;
inline constexpr uint8_t kNmeaRmc = 0x04;
inline constexpr uint8_t kNmeaVtg = 0x05;

// Configuration keys of CFG-VALSET (receivers of protocol 23.01 on). The
// top bits of a key give its value's size: 1 one byte, 2 two, 4 four.
inline constexpr uint32_t kKeyRateMeas = 0x30210001;    // U2, ms between measurements
inline constexpr uint32_t kKeyRateNav = 0x30210002;     // U2, measurements per solution
inline constexpr uint32_t kKeyUart1Baud = 0x40520001;   // U4
inline constexpr uint32_t kKeyGllUart1 = 0x209100CA;    // U1, output rate per epoch
inline constexpr uint32_t kKeyGsaUart1 = 0x209100C0;
inline constexpr uint32_t kKeyGsvUart1 = 0x209100C5;
inline constexpr uint32_t kKeyGllUsb = 0x209100CC;
inline constexpr uint32_t kKeyGsaUsb = 0x209100C2;
inline constexpr uint32_t kKeyGsvUsb = 0x209100C7;

// CFG-VALSET layers.
inline constexpr uint8_t kLayerRam = 0x01;
inline constexpr uint8_t kLayerBbr = 0x02;
inline constexpr uint8_t kLayerFlash = 0x04;

struct Frame {
  uint8_t messageClass = 0;
  uint8_t id = 0;
  std::vector<uint8_t> payload;
};

// The two checksum bytes over class, id, length and payload.
std::pair<uint8_t, uint8_t> checksum(std::span<const uint8_t> classToPayloadEnd);
// A whole frame, sync bytes to checksum.
std::vector<uint8_t> frame(uint8_t messageClass, uint8_t id, std::span<const uint8_t> payload = {});

// Polls and commands.
std::vector<uint8_t> monVerPoll();
// Measurement period in ms, one measurement a solution, aligned to GPS time.
std::vector<uint8_t> cfgRate(uint16_t periodMs);
// UART1: 8 data bits, no parity, one stop bit, UBX and NMEA in and out.
std::vector<uint8_t> cfgPrtUart1(uint32_t baud);
// One NMEA sentence's output rate on the port this is sent on (0: off).
std::vector<uint8_t> cfgMsg(uint8_t nmeaId, uint8_t rate);
// Saves the whole current configuration to battery-backed RAM and flash.
std::vector<uint8_t> cfgCfgSave();

// One key and its value for CFG-VALSET (the value's size from the key).
struct KeyValue {
  uint32_t key = 0;
  uint32_t value = 0;
};
std::vector<uint8_t> cfgValset(uint8_t layers, std::span<const KeyValue> values);
// Bytes of a key's value (1, 2 or 4); 0 for a size this program never sends.
int valueSize(uint32_t key);

// MON-VER's answer: software and hardware version and the extension strings
// ("PROTVER=18.00", "FWVER=SPG 3.01", ...).
struct Version {
  std::string software;
  std::string hardware;
  std::vector<std::string> extensions;
  // The protocol version from PROTVER, e.g. 18.0; 0 when not given.
  double protocolVersion() const;
  // A one-line description for the user.
  std::string describe() const;
};
std::optional<Version> parseMonVer(std::span<const uint8_t> payload);

}  // namespace corvantis::receiver::ubx
