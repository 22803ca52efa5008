#include "tools/receiver/receiver_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gps/nmea_decoder.h"
#include "tools/receiver/pmtk.h"

namespace corvantis::receiver {
namespace {

constexpr uint32_t kDayMs = 86400000u;

std::string rateText(double perSecond) {
  char text[32];
  std::snprintf(text, sizeof text, std::fabs(perSecond - std::round(perSecond)) < 0.05 ? "%.0f" : "%.1f", perSecond);
  return text;
}

// "1 fix a second", "2.5 fixes a second".
std::string fixesASecond(double perSecond) {
  const std::string rate = rateText(perSecond);
  return rate + (rate == "1" ? " fix a second" : " fixes a second");
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A GGA sentence of any talker, and its time of day.
bool ggaTime(const std::string& sentence, uint32_t& timeOfDayMs) {
  if (sentence.size() < 7 || sentence.compare(3, 4, "GGA,") != 0) return false;
  FieldBuffer field;
  if (!extractField(sentence.c_str(), 1, field)) return false;
  timeOfDayMs = readTimeOfDay(field);
  return timeOfDayMs < kDayMs;
}

// The longest a receiver is quiet between two epochs: a second at 1 Hz,
// and some more for one that is busy changing.
constexpr uint32_t kQuietestMs = 2200;

// A line of 8 data bits, a start and a stop bit carries baud / 10 bytes a second.
double bytesPerSecond(uint32_t baud) { return baud / 10.0; }

}  // namespace

double Traffic::ratePerSecond() const {
  if (ggaTimesMs.size() < 2) return 0.0;
  std::vector<uint32_t> steps;
  for (std::size_t i = 1; i < ggaTimesMs.size(); ++i) {
    steps.push_back((ggaTimesMs[i] + kDayMs - ggaTimesMs[i - 1]) % kDayMs);
  }
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
  const uint32_t middle = steps[steps.size() / 2];
  return middle == 0 ? 0.0 : 1000.0 / middle;
}

double Traffic::bytesPerFix() const {
  return ggaTimesMs.size() < 2 ? 0.0 : static_cast<double>(bytes) / static_cast<double>(ggaTimesMs.size());
}

ReceiverSetup::ReceiverSetup(ReceiverLine& line, std::function<void(const std::string&)> say)
    : line_(line), say_(std::move(say)) {}

bool ReceiverSetup::listen(uint32_t ms, const std::function<bool(const StreamItem&)>& take) {
  const uint64_t deadline = line_.nowMs() + ms;
  std::vector<uint8_t> bytes;
  for (;;) {
    while (auto item = stream_.next()) {
      if (take(*item)) return true;
    }
    const uint64_t now = line_.nowMs();
    if (now >= deadline) return true;
    bytes.clear();
    if (!line_.receive(bytes, static_cast<uint32_t>(deadline - now))) return false;
    stream_.feed(bytes);
  }
}

void Traffic::count(const StreamItem& item) {
  if (item.kind != StreamItem::Kind::Sentence) return;
  ++sentences;
  uint32_t timeMs = 0;
  // Bytes are counted from the first GGA on, so that they divide into fixes.
  if (ggaTime(item.sentence, timeMs)) ggaTimesMs.push_back(timeMs);
  if (!ggaTimesMs.empty()) bytes += item.sentence.size() + 2;
}

Traffic ReceiverSetup::measure(uint32_t ms) {
  Traffic traffic;
  listen(ms, [&](const StreamItem& item) {
    traffic.count(item);
    return false;
  });
  return traffic;
}

Traffic ReceiverSetup::measureFromFirst(uint32_t waitMs, uint32_t ms) {
  Traffic traffic;
  // A receiver at 1 Hz, or one finishing an epoch at the rate it leaves,
  // may be quiet for a second.
  listen(std::max(waitMs, kQuietestMs), [&](const StreamItem& item) {
    traffic.count(item);
    return traffic.sentences > 0;
  });
  if (traffic.sentences == 0) return traffic;
  listen(ms, [&](const StreamItem& item) {
    traffic.count(item);
    return false;
  });
  return traffic;
}

SetupResult ReceiverSetup::run(const SetupRequest& request) {
  if (SetupResult found = find(request); found.exitCode != kExitDone) return found;
  if (request.baud && *request.baud != baud_) {
    if (SetupResult r = setBaud(*request.baud, request); r.exitCode != kExitDone) return r;
  }
  if (request.lean) {
    if (SetupResult r = turnOffUnread(request); r.exitCode != kExitDone) return r;
  }
  if (SetupResult r = setRate(request); r.exitCode != kExitDone) return r;
  if (request.save) {
    if (SetupResult r = save(request); r.exitCode != kExitDone) return r;
  }
  return verify(request);
}

SetupResult ReceiverSetup::find(const SetupRequest& request) {
  std::string tried;
  for (const uint32_t baud : request.searchBauds) {
    if (!line_.setBaud(baud)) continue;
    stream_.clear();
    tried += (tried.empty() ? "" : ", ") + std::to_string(baud);
    bool heardNmea = false;
    std::string version;
    // Ask twice at each rate: a receiver busy with its first output may miss one.
    for (int attempt = 0; attempt < 2 && maker_ == Maker::None; ++attempt) {
      line_.send(ubx::monVerPoll());
      line_.send(bytesOf(pmtk::firmwareQuery()));
      const bool ok = listen(request.listenMs / 2, [&](const StreamItem& item) {
        if (item.kind == StreamItem::Kind::Frame) {
          if (item.frame.messageClass != ubx::kClassMon || item.frame.id != ubx::kMonVer) return false;
          if (const auto parsed = ubx::parseMonVer(item.frame.payload)) {
            maker_ = Maker::Ublox;
            version = parsed->describe();
            valset_ = false;
            return true;
          }
          return false;
        }
        heardNmea = true;
        if (const auto firmware = pmtk::parseFirmware(item.sentence)) {
          maker_ = Maker::Mediatek;
          version = *firmware;
          return true;
        }
        return false;
      });
      if (!ok) return {kExitNoAnswer, "the line to the receiver failed"};
    }
    if (maker_ == Maker::None) {
      if (heardNmea) {
        return {kExitNoAnswer, "the receiver sends NMEA at " + std::to_string(baud) +
                                   " baud but answers neither the u-blox version query (UBX MON-VER) nor the "
                                   "MediaTek one (PMTK605): this program cannot set its rate"};
      }
      continue;
    }
    baud_ = baud;
    say_(std::string("found: ") + (maker_ == Maker::Ublox ? "a u-blox receiver" : "a MediaTek (PMTK) receiver") +
         " at " + std::to_string(baud) + " baud: " + version);
    heard_ = measureFromFirst(request.listenMs, request.listenMs);
    if (heard_.ggaTimesMs.size() >= 2) {
      say_("heard: " + fixesASecond(heard_.ratePerSecond()) + ", " +
           std::to_string(static_cast<long>(heard_.bytesPerFix())) + " bytes a fix");
    }
    return {};
  }
  return {kExitNoAnswer, "no receiver answers: nothing readable arrived at " + tried +
                             " baud (is it plugged in, and is this its port?)"};
}

ReceiverSetup::Answer ReceiverSetup::sendUbx(const std::vector<uint8_t>& frame, uint32_t answerMs) {
  const uint8_t messageClass = frame[2];
  const uint8_t id = frame[3];
  if (!line_.send(frame)) return Answer::Silent;
  Answer answer = Answer::Silent;
  listen(answerMs, [&](const StreamItem& item) {
    if (item.kind != StreamItem::Kind::Frame || item.frame.messageClass != ubx::kClassAck) return false;
    const std::vector<uint8_t>& p = item.frame.payload;
    if (p.size() < 2 || p[0] != messageClass || p[1] != id) return false;
    answer = item.frame.id == ubx::kAckAck ? Answer::Done : Answer::Refused;
    return true;
  });
  if (answer == Answer::Refused) refusal_ = "answered UBX ACK-NAK";
  return answer;
}

ReceiverSetup::Answer ReceiverSetup::ubxSetting(const std::vector<uint8_t>& legacy,
                                                const std::vector<ubx::KeyValue>& keys, const SetupRequest& request,
                                                const std::string& what) {
  if (!valset_) {
    const Answer answer = sendUbx(legacy, request.answerMs);
    if (answer != Answer::Refused) return answer;
    // Newer receivers take their settings as configuration keys only.
    say_("note: the receiver refused the older " + what + " message; sending it as configuration keys (CFG-VALSET)");
    valset_ = true;
  }
  return sendUbx(ubx::cfgValset(ubx::kLayerRam, keys), request.answerMs);
}

ReceiverSetup::Answer ReceiverSetup::sendPmtk(const std::string& sentence, int command, uint32_t answerMs) {
  if (!line_.send(bytesOf(sentence))) return Answer::Silent;
  Answer answer = Answer::Silent;
  listen(answerMs, [&](const StreamItem& item) {
    if (item.kind != StreamItem::Kind::Sentence) return false;
    const auto ack = pmtk::parseAcknowledgement(item.sentence);
    if (!ack || ack->command != command) return false;
    answer = ack->flag == pmtk::kFlagDone ? Answer::Done : Answer::Refused;
    if (answer == Answer::Refused) {
      refusal_ = std::string("answered PMTK001 flag ") + std::to_string(ack->flag) + ": " + pmtk::flagMeaning(ack->flag);
    }
    return true;
  });
  return answer;
}

SetupResult ReceiverSetup::refused(const std::string& what) const {
  return {kExitRefused, "the receiver refused " + what + " (" + refusal_ + ")"};
}

SetupResult ReceiverSetup::silent(const std::string& what) const {
  return {kExitNoAnswer, "the receiver did not acknowledge " + what};
}

SetupResult ReceiverSetup::setBaud(uint32_t baud, const SetupRequest& request) {
  const std::string what = "the baud rate " + std::to_string(baud);
  // The answer may come at the old rate or be lost in the change: only a
  // refusal counts here; hearing the receiver at the new rate is the proof.
  Answer answer = Answer::Silent;
  if (maker_ == Maker::Ublox) {
    const std::vector<ubx::KeyValue> keys{{ubx::kKeyUart1Baud, baud}};
    answer = ubxSetting(ubx::cfgPrtUart1(baud), keys, request, "port (CFG-PRT)");
  } else {
    answer = sendPmtk(pmtk::setBaud(baud), 251, request.answerMs / 3);
  }
  if (answer == Answer::Refused) return refused(what);
  if (!line_.setBaud(baud)) return {kExitUsage, "this port cannot be set to " + std::to_string(baud) + " baud"};
  stream_.clear();
  const Traffic after = measureFromFirst(request.listenMs, 0);
  if (after.sentences == 0) {
    return {kExitNoAnswer, "the receiver was not heard at " + std::to_string(baud) +
                               " baud after the change; it may be at either rate now: run again without --baud to "
                               "find it"};
  }
  baud_ = baud;
  say_("set: " + std::to_string(baud) + " baud" + (maker_ == Maker::Ublox ? (valset_ ? " (CFG-VALSET)" : " (CFG-PRT)")
                                                                            : " (PMTK251)") +
       ", heard there");
  return {};
}

SetupResult ReceiverSetup::turnOffUnread(const SetupRequest& request) {
  const std::string what = "turning off GSV, GSA and GLL";
  if (maker_ == Maker::Ublox) {
    const std::pair<uint8_t, const char*> sentences[] = {
        {ubx::kNmeaGsv, "GSV"}, {ubx::kNmeaGsa, "GSA"}, {ubx::kNmeaGll, "GLL"}};
    // The keys for the serial port and for USB: the receiver may be on either.
    const std::vector<ubx::KeyValue> keys{{ubx::kKeyGsvUart1, 0}, {ubx::kKeyGsaUart1, 0}, {ubx::kKeyGllUart1, 0},
                                          {ubx::kKeyGsvUsb, 0},   {ubx::kKeyGsaUsb, 0},   {ubx::kKeyGllUsb, 0}};
    for (const auto& [id, name] : sentences) {
      const Answer answer = ubxSetting(ubx::cfgMsg(id, 0), keys, request, std::string(name) + " (CFG-MSG)");
      if (answer == Answer::Refused) return refused(what);
      if (answer == Answer::Silent) return silent(what);
      if (valset_) break;  // one message turned all three off
    }
    say_(std::string("set: GSV, GSA and GLL off") + (valset_ ? " (CFG-VALSET)" : " (CFG-MSG)"));
    return {};
  }
  // MediaTek: the sentence rates as they are, less the three.
  pmtk::SentenceRates rates{};
  bool known = false;
  line_.send(bytesOf(pmtk::querySentenceRates()));
  listen(request.answerMs, [&](const StreamItem& item) {
    if (item.kind != StreamItem::Kind::Sentence) return false;
    if (const auto current = pmtk::parseSentenceRates(item.sentence)) {
      rates = *current;
      known = true;
      return true;
    }
    return false;
  });
  if (!known) {
    // No answer to the query: GGA, RMC and VTG at every fix, the rest off.
    rates[pmtk::kFieldRmc] = rates[pmtk::kFieldVtg] = rates[pmtk::kFieldGga] = 1;
  }
  rates[pmtk::kFieldGll] = rates[pmtk::kFieldGsa] = rates[pmtk::kFieldGsv] = 0;
  const Answer answer = sendPmtk(pmtk::setSentenceRates(rates), 314, request.answerMs);
  if (answer == Answer::Refused) return refused(what);
  if (answer == Answer::Silent) return silent(what);
  say_("set: GSV, GSA and GLL off (PMTK314)");
  return {};
}

SetupResult ReceiverSetup::setRate(const SetupRequest& request) {
  const int periodMs = 1000 / request.rateHz;
  const std::string what = "a rate of " + std::to_string(request.rateHz) + " Hz";
  // Can the line carry it? Warn rather than refuse: the receiver may send
  // less after --lean, and the count at the end tells.
  const double bytesPerFix = heard_.bytesPerFix();
  if (bytesPerFix > 0.0 && !request.lean && bytesPerFix * request.rateHz > 0.9 * bytesPerSecond(baud_)) {
    say_("warning: " + std::to_string(static_cast<long>(bytesPerFix)) + " bytes a fix at " +
         std::to_string(request.rateHz) + " Hz is more than a serial line at " + std::to_string(baud_) +
         " baud carries (a receiver on USB is not held back by it); add --baud 115200, or --lean to send less");
  }
  Answer answer = Answer::Silent;
  if (maker_ == Maker::Ublox) {
    const std::vector<ubx::KeyValue> keys{{ubx::kKeyRateMeas, static_cast<uint32_t>(periodMs)},
                                          {ubx::kKeyRateNav, 1}};
    answer = ubxSetting(ubx::cfgRate(static_cast<uint16_t>(periodMs)), keys, request, "rate (CFG-RATE)");
  } else {
    answer = sendPmtk(pmtk::setFixInterval(periodMs), 220, request.answerMs);
  }
  if (answer == Answer::Refused) return refused(what);
  if (answer == Answer::Silent) return silent(what);
  say_("set: " + fixesASecond(request.rateHz) + ", one every " + std::to_string(periodMs) + " ms" +
       (maker_ == Maker::Ublox ? (valset_ ? " (CFG-VALSET)" : " (CFG-RATE)") : " (PMTK220)"));
  return {};
}

SetupResult ReceiverSetup::save(const SetupRequest& request) {
  if (maker_ == Maker::Mediatek) {
    // PMTK has no general command that writes the settings to flash.
    say_("saved: a MediaTek receiver keeps these settings by itself while its backup battery (or supply) lasts; "
         "without it they go back to the maker's at power-up, and this program sets them again");
    return {};
  }
  const Answer answer = sendUbx(ubx::cfgCfgSave(), request.answerMs);
  if (answer == Answer::Refused) return refused("saving the settings");
  if (answer == Answer::Silent) return silent("saving the settings");
  say_("saved: in the receiver's battery-backed memory and flash (CFG-CFG)");
  return {};
}

SetupResult ReceiverSetup::verify(const SetupRequest& request) {
  const Traffic traffic = measureFromFirst(request.listenMs, request.verifyMs);
  if (traffic.ggaTimesMs.size() < 2) {
    return {kExitRateNotReached, "no fixes arrived in the " + rateText(request.verifyMs / 1000.0) +
                                     " s after the settings (the receiver sends no GGA sentences)"};
  }
  const double measured = traffic.ratePerSecond();
  say_("measured: " + fixesASecond(measured) + " over " + rateText(request.verifyMs / 1000.0) + " s, " +
       std::to_string(static_cast<long>(traffic.bytesPerFix())) + " bytes a fix, at " + std::to_string(baud_) +
       " baud");
  if (std::fabs(measured - request.rateHz) > 0.1 * request.rateHz) {
    std::string why = "the receiver sends " + fixesASecond(measured) + ", not " + std::to_string(request.rateHz);
    if (traffic.bytesPerFix() * request.rateHz > 0.9 * bytesPerSecond(baud_)) {
      why += ": at " + std::to_string(baud_) + " baud the line cannot carry more; add --baud 115200 or --lean";
    }
    return {kExitRateNotReached, why};
  }
  return {};
}

}  // namespace corvantis::receiver
