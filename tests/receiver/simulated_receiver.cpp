#include "tests/receiver/simulated_receiver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "tools/receiver/pmtk.h"
#include "tools/receiver/receiver_stream.h"

namespace corvantis::testing {
namespace {

namespace ubx = receiver::ubx;
namespace pmtk = receiver::pmtk;
using Clock = std::chrono::steady_clock;

uint32_t get16(const std::vector<uint8_t>& p, std::size_t at) {
  return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8;
}
uint32_t get32(const std::vector<uint8_t>& p, std::size_t at) { return get16(p, at) | get16(p, at + 2) << 16; }

// A fixed-width, NUL-padded text field of MON-VER.
void putText(std::vector<uint8_t>& out, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

std::string asText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The NMEA id of a UBX standard-sentence message, as a Sentence; -1 for others.
int sentenceOfNmeaId(uint8_t id) {
  switch (id) {
    case ubx::kNmeaGga: return SimulatedReceiver::kGga;
    case ubx::kNmeaRmc: return SimulatedReceiver::kRmc;
    case ubx::kNmeaVtg: return SimulatedReceiver::kVtg;
    case ubx::kNmeaGsa: return SimulatedReceiver::kGsa;
    case ubx::kNmeaGsv: return SimulatedReceiver::kGsv;
    case ubx::kNmeaGll: return SimulatedReceiver::kGll;
    default: return -1;
  }
}

// The sentence a configuration key turns on or off (serial port or USB).
int sentenceOfKey(uint32_t key) {
  switch (key) {
    case ubx::kKeyGsvUart1:
    case ubx::kKeyGsvUsb: return SimulatedReceiver::kGsv;
    case ubx::kKeyGsaUart1:
    case ubx::kKeyGsaUsb: return SimulatedReceiver::kGsa;
    case ubx::kKeyGllUart1:
    case ubx::kKeyGllUsb: return SimulatedReceiver::kGll;
    default: return -1;
  }
}

}  // namespace

SimulatedReceiver::SimulatedReceiver(Kind kind, uint32_t baud, int rateHz, Behaviour behaviour)
    : kind_(kind), behaviour_(behaviour) {
  state_.baud = baud;
  state_.periodMs = 1000 / rateHz;
  state_.everyNthFix.fill(1);
  // MediaTek's own default: GSV every fifth fix (PMTK314 "1,1,1,1,1,5").
  if (kind == Kind::Mediatek) state_.everyNthFix[kGsv] = 5;
  if (!terminal_.open()) return;
  thread_ = std::thread([this] { run(); });
}

SimulatedReceiver::~SimulatedReceiver() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

SimulatedReceiver::State SimulatedReceiver::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

void SimulatedReceiver::run() {
  auto nextEpoch = Clock::now();
  while (!stopping_) {
    const auto now = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (now >= nextEpoch) {
        if (!behaviour_.silent) sendEpoch();
        nextEpoch += std::chrono::milliseconds(state_.periodMs);
        // After a stall, no burst of epochs to catch up.
        if (nextEpoch < now) nextEpoch = now + std::chrono::milliseconds(state_.periodMs);
      }
    }
    const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(nextEpoch - Clock::now()).count();
    std::string input;
    terminal_.read(input, static_cast<uint32_t>(std::clamp<long long>(waitMs, 1, 20)));
    if (input.empty()) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    takeInput(input);
  }
}

void SimulatedReceiver::takeInput(const std::string& bytes) {
  // At another rate than its own the receiver reads nothing sensible.
  if (behaviour_.silent || !behaviour_.answers || terminal_.lineRate() != state_.baud) return;
  stream_.feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  while (auto item = stream_.next()) {
    if (item->kind == receiver::StreamItem::Kind::Frame) {
      if (kind_ != Kind::Mediatek) answerFrame(item->frame);
    } else if (kind_ == Kind::Mediatek && item->sentence.rfind("$PMTK", 0) == 0) {
      answerPmtk(item->sentence);
    }
  }
}

void SimulatedReceiver::ack(const ubx::Frame& frame, bool accepted) {
  const uint8_t payload[] = {frame.messageClass, frame.id};
  send(asText(ubx::frame(ubx::kClassAck, accepted ? ubx::kAckAck : ubx::kAckNak, payload)));
}

void SimulatedReceiver::answerFrame(const ubx::Frame& frame) {
  const std::vector<uint8_t>& p = frame.payload;
  if (frame.messageClass == ubx::kClassMon && frame.id == ubx::kMonVer && p.empty()) {
    const bool classic = kind_ == Kind::UbloxClassic;
    std::vector<uint8_t> version;
    putText(version, classic ? "ROM CORE 3.01 (107888)" : "ROM SPG 5.10 (7b202e)", 30);
    putText(version, classic ? "00080000" : "000A0000", 10);
    putText(version, classic ? "FWVER=SPG 3.01" : "FWVER=SPG 5.10", 30);
    putText(version, classic ? "PROTVER=18.00" : "PROTVER=34.10", 30);
    send(asText(ubx::frame(ubx::kClassMon, ubx::kMonVer, version)));
    state_.commands.push_back("MON-VER");
    return;
  }
  if (frame.messageClass != ubx::kClassCfg) return;  // anything else is ignored, as a receiver does
  const bool classic = kind_ == Kind::UbloxClassic;
  if (behaviour_.refuses) return ack(frame, false);
  switch (frame.id) {
    case ubx::kCfgRate:
      if (!classic || p.size() != 6 || get16(p, 0) < 40) return ack(frame, false);
      if (!behaviour_.keepsItsRate) state_.periodMs = static_cast<int>(get16(p, 0));
      state_.commands.push_back("CFG-RATE");
      return ack(frame, true);
    case ubx::kCfgMsg: {
      const int sentence = p.size() >= 3 && p[0] == ubx::kClassNmea ? sentenceOfNmeaId(p[1]) : -1;
      if (!classic || (p.size() != 3 && p.size() != 8) || sentence < 0) return ack(frame, false);
      state_.everyNthFix[static_cast<std::size_t>(sentence)] = p[2];
      state_.commands.push_back("CFG-MSG");
      return ack(frame, true);
    }
    case ubx::kCfgPrt:
      if (!classic || p.size() != 20 || p[0] != 1) return ack(frame, false);
      state_.commands.push_back("CFG-PRT");
      // The answer still goes out at the old rate; then the port changes.
      ack(frame, true);
      state_.baud = get32(p, 8);
      return;
    case ubx::kCfgCfg:
      if (p.size() != 12 && p.size() != 13) return ack(frame, false);
      if (get32(p, 4) != 0) state_.saved = true;
      state_.commands.push_back("CFG-CFG");
      return ack(frame, true);
    case ubx::kCfgValset: {
      if (classic || p.size() < 4 || p[0] != 0) return ack(frame, false);
      // All keys or none.
      State next = state_;
      for (std::size_t at = 4; at < p.size();) {
        if (at + 4 > p.size()) return ack(frame, false);
        const uint32_t key = get32(p, at);
        const int size = ubx::valueSize(key);
        if (size == 0 || at + 4 + static_cast<std::size_t>(size) > p.size()) return ack(frame, false);
        uint32_t value = 0;
        for (int i = 0; i < size; ++i) value |= static_cast<uint32_t>(p[at + 4 + static_cast<std::size_t>(i)]) << (8 * i);
        if (key == ubx::kKeyRateMeas && value >= 40) {
          next.periodMs = static_cast<int>(value);
        } else if (key == ubx::kKeyRateNav && value == 1) {
        } else if (key == ubx::kKeyUart1Baud) {
          next.baud = value;
        } else if (const int sentence = sentenceOfKey(key); sentence >= 0) {
          next.everyNthFix[static_cast<std::size_t>(sentence)] = static_cast<int>(value);
        } else {
          return ack(frame, false);
        }
        at += 4 + static_cast<std::size_t>(size);
      }
      if ((p[1] & ubx::kLayerFlash) != 0) next.saved = true;
      next.commands.push_back("CFG-VALSET");
      const uint32_t newBaud = next.baud;
      next.baud = state_.baud;
      state_ = next;
      ack(frame, true);
      state_.baud = newBaud;
      return;
    }
    default:
      return ack(frame, false);
  }
}

void SimulatedReceiver::pmtkAck(int command, int flag) {
  send(pmtk::sentence("PMTK001," + std::to_string(command) + "," + std::to_string(flag)));
}

void SimulatedReceiver::answerPmtk(const std::string& sentence) {
  const int command = std::atoi(sentence.c_str() + 5);
  std::vector<int> fields;
  for (std::size_t comma = sentence.find(','); comma != std::string::npos; comma = sentence.find(',', comma + 1)) {
    fields.push_back(std::atoi(sentence.c_str() + comma + 1));
  }
  switch (command) {
    case 605:
      state_.commands.push_back("PMTK605");
      send(pmtk::sentence("PMTK705,AXN_2.31_3339_13101700,5632,PA6H,1.0"));
      return;
    case 414: {
      std::string body = "PMTK514";
      const int order[] = {kGll, kRmc, kVtg, kGga, kGsa, kGsv};
      for (int i = 0; i < pmtk::kRateFields; ++i) {
        body += "," + std::to_string(i < 6 ? state_.everyNthFix[static_cast<std::size_t>(order[i])] : 0);
      }
      send(pmtk::sentence(body));
      return;
    }
    case 220:
      if (behaviour_.refuses || fields.size() != 1 || fields[0] < 100 || fields[0] > 10000) return pmtkAck(220, 2);
      if (!behaviour_.keepsItsRate) state_.periodMs = fields[0];
      state_.commands.push_back("PMTK220");
      return pmtkAck(220, 3);
    case 251:
      if (behaviour_.refuses || fields.size() != 1 || fields[0] < 4800 || fields[0] > 115200) return pmtkAck(251, 2);
      // As many MediaTek firmwares do: no answer, the new rate at once.
      state_.baud = static_cast<uint32_t>(fields[0]);
      state_.commands.push_back("PMTK251");
      return;
    case 314:
      if (fields.size() != static_cast<std::size_t>(pmtk::kRateFields)) return pmtkAck(314, 0);
      if (behaviour_.refuses) return pmtkAck(314, 2);
      state_.everyNthFix[kGll] = fields[pmtk::kFieldGll];
      state_.everyNthFix[kRmc] = fields[pmtk::kFieldRmc];
      state_.everyNthFix[kVtg] = fields[pmtk::kFieldVtg];
      state_.everyNthFix[kGga] = fields[pmtk::kFieldGga];
      state_.everyNthFix[kGsa] = fields[pmtk::kFieldGsa];
      state_.everyNthFix[kGsv] = fields[pmtk::kFieldGsv];
      state_.commands.push_back("PMTK314");
      return pmtkAck(314, 3);
    default:
      return pmtkAck(command, 1);
  }
}

void SimulatedReceiver::sendEpoch() {
  const std::string talker = kind_ == Kind::Mediatek ? "GP" : "GN";
  char time[16];
  const uint32_t t = fixTimeMs_ % 86400000u;
  std::snprintf(time, sizeof time, "%02u%02u%02u.%02u", t / 3600000u, t / 60000u % 60u, t / 1000u % 60u,
                t % 1000u / 10u);
  const auto on = [&](Sentence s) {
    const int n = state_.everyNthFix[static_cast<std::size_t>(s)];
    return n > 0 && epoch_ % n == 0;
  };
  std::string text;
  const std::string position = "4807.03800,N,01131.00000,E";
  if (on(kGga)) text += pmtk::sentence(talker + "GGA," + time + "," + position + ",1,09,0.9,545.4,M,46.9,M,,");
  if (on(kRmc)) text += pmtk::sentence(talker + "RMC," + time + ",A," + position + ",0.012,,130626,,,A");
  if (on(kVtg)) text += pmtk::sentence(talker + "VTG,,T,,M,0.012,N,0.022,K,A");
  if (on(kGsa)) text += pmtk::sentence(talker + "GSA,A,3,05,07,09,13,15,17,19,21,30,,,,1.61,0.90,1.33");
  if (on(kGsv)) {
    for (int k = 1; k <= 3; ++k) {
      text += pmtk::sentence("GPGSV,3," + std::to_string(k) + ",12,05,41,123,44,07,22,301,38,09,63,045,47,13,15,210,33");
    }
  }
  if (on(kGll)) text += pmtk::sentence(talker + "GLL,4807.03800,N,01131.00000,E," + time + ",A,A");
  send(text);
  fixTimeMs_ += static_cast<uint32_t>(state_.periodMs);
  ++epoch_;
}

void SimulatedReceiver::send(const std::string& bytes) {
  if (terminal_.lineRate() == state_.baud) {
    terminal_.write(bytes);
    return;
  }
  // A UART at the wrong rate: every byte arrives as another, never a
  // sentence's or a frame's start.
  std::string garbage = bytes;
  for (char& c : garbage) {
    uint8_t b = static_cast<uint8_t>(0x80 | ((static_cast<uint8_t>(c) ^ 0x5A) & 0x7F));
    if (b == ubx::kSync1) b = 0xB4;
    c = static_cast<char>(b);
  }
  terminal_.write(garbage);
}

}  // namespace corvantis::testing
