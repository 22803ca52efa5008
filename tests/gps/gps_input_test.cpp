#include "gps/gps_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_serial_port.h"
#include "tests/support/nmea_text.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis {
namespace {

using testing::FakeSerialPort;
using testing::ScriptedMessageBoxes;

std::string gga(const std::string& time, const std::string& latitude = "4807.038") {
  return testing::nmeaSentence("GPGGA," + time + "," + latitude + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}
const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

struct Pump {
  FakeSerialPort port;
  ScriptedMessageBoxes boxes;
  std::unique_ptr<GpsInput> gps = std::make_unique<GpsInput>(port, boxes);
  std::vector<bool> ticks;  // newFix of each worked tick

  Pump() {
    gps->afterTick = [this](bool newFix) { ticks.push_back(newFix); };
  }
  void open() { ASSERT_TRUE(gps->openPort(5, 0)); }
  bool tick() {
    const size_t before = ticks.size();
    gps->pumpTick();
    return ticks.size() > before && ticks.back();
  }
};

TEST(OpenPort, NamesTheComPortAndItsRate) {
  const struct {
    int port, baudIndex;
    const char* name;
    uint32_t rate;
  } cases[] = {{0, 0, "COM1:", 4800}, {5, 1, "COM6:", 9600}, {7, 2, "COM8:", 14400},
               {2, 7, "COM3:", 128000}, {3, 8, "COM4:", 256000}};
  for (const auto& c : cases) {
    Pump p;
    EXPECT_TRUE(p.gps->openPort(c.port, c.baudIndex));
    EXPECT_EQ(p.port.openedNames.back(), c.name);
    EXPECT_EQ(p.port.appliedRates.back(), c.rate);
    EXPECT_EQ(p.port.appliedTimeouts.readTotalMs, 100u);
    EXPECT_EQ(p.port.appliedTimeouts.readIntervalMs, 10u);
    EXPECT_TRUE(p.gps->portOpen());
    EXPECT_TRUE(p.boxes.shown.empty());
  }
}

TEST(OpenPort, EachFailureShowsItsMessageAndLeavesThePortClosed) {
  const struct {
    bool failOpen, failLine, failTimeouts;
    int baudIndex;
    const char* message;
    int32_t satellites;
  } cases[] = {
      {true, false, false, 0, "Unable to open Comm port", -1},
      {false, true, false, 0, "Unable to set the baud rate.\nTry a lower baud", 7},
      {false, false, false, 9, "Unable to set the baud rate.\nTry a lower baud", 7},
      {false, false, false, -1, "Unable to set the baud rate.\nTry a lower baud", 7},
      {false, false, true, 0, "Port Error.\nTry another comm port", 7},
  };
  for (const auto& c : cases) {
    Pump p;
    p.gps->currentFix.satellites = 7;
    p.port.failOpen = c.failOpen;
    p.port.failLineSettings = c.failLine;
    p.port.failTimeouts = c.failTimeouts;
    EXPECT_FALSE(p.gps->openPort(5, c.baudIndex));
    ASSERT_EQ(p.boxes.shown.size(), 1u) << c.message;
    EXPECT_EQ(p.boxes.shown[0].text, c.message);
    EXPECT_EQ(p.boxes.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(p.boxes.shown[0].buttons, platform::MessageButtons::Ok);
    EXPECT_FALSE(p.gps->portOpen());
    EXPECT_EQ(p.gps->currentFix.satellites, c.satellites);
    // A closed port is not worked: no read, no screen update.
    p.port.feed(gga("123519") + "$");
    p.gps->pumpTick();
    EXPECT_TRUE(p.ticks.empty());
    EXPECT_FALSE(p.gps->pumpBusy);
  }
}

TEST(PumpTick, SentencesAreDecodedWhenTheNextDollarArrives) {
  Pump p;
  p.open();
  p.port.feed(gga("123519"));
  EXPECT_FALSE(p.tick());  // no "$" after it yet
  EXPECT_EQ(p.gps->history.count, 0);
  p.port.feed(kRmc);
  EXPECT_TRUE(p.tick());  // the GGA, cut at the RMC's "$"
  EXPECT_EQ(p.gps->history.count, 1);
  EXPECT_EQ(p.gps->currentFix.satellites, 8);
  EXPECT_FALSE(p.tick());  // rest of the RMC; nothing new
  p.port.feed(gga("123520", "4807.538"));
  EXPECT_FALSE(p.tick());  // the RMC decoded: no fix
  EXPECT_EQ(p.gps->history.count, 1);
  p.port.feed("$");
  EXPECT_TRUE(p.tick());
  EXPECT_EQ(p.gps->history.count, 2);
  EXPECT_DOUBLE_EQ(p.gps->currentFix.latitude, 48.0 + 7.538 / 60.0);
  EXPECT_GT(p.gps->currentFix.speed, 50.0f);
  EXPECT_STREQ(p.gps->line, "$");
  EXPECT_EQ(p.gps->linePos, 1);
}

TEST(PumpTick, AfterAHoldOffOneTickTakesEveryFixWaitingInOrder) {
  Pump p;
  p.open();
  p.gps->holdOffTicks = kScreenChangeHoldOffTicks;
  p.port.feed("noise before the first sentence" + gga("120000") + kRmc + gga("120001") + gga("120002") + "$");
  for (int i = 0; i < kScreenChangeHoldOffTicks; ++i) p.gps->pumpTick();
  EXPECT_TRUE(p.ticks.empty());  // held off: nothing decoded, no update
  EXPECT_EQ(p.gps->history.count, 0);
  EXPECT_EQ(p.gps->holdOffTicks, 0);
  std::vector<uint32_t> seen;
  p.gps->afterTick = [&](bool newFix) {
    p.ticks.push_back(newFix);
    seen.push_back(p.gps->history.newestFixTime());
  };
  p.gps->pumpTick();
  EXPECT_EQ(p.ticks, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(seen, (std::vector<uint32_t>{43200000u, 43201000u, 43202000u}));
  EXPECT_TRUE(p.port.pending.empty());
  EXPECT_FALSE(p.tick());  // nothing left: one update without a fix
  EXPECT_EQ(p.gps->history.count, 3);
}

TEST(PumpTick, AHoldOffKeepsWhatArrivesSoThatTheLineDropsNothing) {
  // A line that holds 4 KB, and a receiver sending 1.5 KB a tick: two
  // seconds of hold-off would lose most of it if nothing were read.
  Pump p;
  p.open();
  p.port.lineCapacity = 4096;
  p.gps->holdOffTicks = kScreenChangeHoldOffTicks;
  std::vector<uint32_t> seen;
  p.gps->afterTick = [&](bool newFix) {
    if (newFix) seen.push_back(p.gps->history.newestFixTime());
  };
  const std::string padding = "$GPGSV," + std::string(1400, '7') + "\r\n";
  for (int i = 0; i <= kScreenChangeHoldOffTicks; ++i) {
    char time[16];
    std::snprintf(time, sizeof time, "1200%02d", i);
    p.port.feed(gga(time) + padding);
    p.gps->pumpTick();
  }
  EXPECT_EQ(p.port.dropped, 0u);
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kScreenChangeHoldOffTicks) + 1);
  EXPECT_EQ(seen.front(), 43200000u);
  EXPECT_EQ(seen.back(), 43220000u);
  EXPECT_EQ(p.gps->emptyTicks, 0);  // the hold-off's reads are no silence
}

TEST(PumpTick, ATickTakesEverythingThatHasArrived) {
  Pump p;
  p.open();
  p.port.feed(std::string(3000, 'x'));
  p.gps->pumpTick();
  EXPECT_TRUE(p.port.pending.empty());
  EXPECT_EQ(p.gps->linePos, kLastLinePos);
  EXPECT_EQ(p.ticks, std::vector<bool>{false});
}

TEST(PumpTick, SilenceBecomesADeviceErrorAndAReopenClearsIt) {
  Pump p;
  p.open();
  p.port.feed(gga("120000") + "$");
  EXPECT_TRUE(p.tick());
  // The tick that found the fix left before an empty read; 100 silent ticks follow.
  for (int i = 0; i < kSilentTicksForDeviceError; ++i) p.gps->pumpTick();
  EXPECT_FALSE(p.gps->currentFix.deviceError);
  EXPECT_EQ(p.gps->emptyTicks, kSilentTicksForDeviceError);
  p.gps->pumpTick();
  EXPECT_TRUE(p.gps->currentFix.deviceError);
  EXPECT_EQ(gpsStatusText(p.gps->currentFix), "GPS Device Error");
  // While the error stands nothing is decoded.
  p.port.feed(gga("120005") + "$");
  for (int i = 0; i < 200; ++i) p.gps->pumpTick();
  EXPECT_EQ(p.gps->history.count, 1);
  // Plugged back in: a successful open clears the error and the count.
  p.port.feed(gga("120006") + "$");
  p.open();
  EXPECT_FALSE(p.gps->currentFix.deviceError);
  EXPECT_EQ(p.gps->emptyTicks, 0);
  bool gotFix = false;
  for (int i = 0; i < 5 && !gotFix; ++i) gotFix = p.tick();
  EXPECT_TRUE(gotFix);
  EXPECT_EQ(p.gps->history.newestFixTime(), 43206000u);
}

TEST(PumpTick, AByteBeforeTheHundredthSilentTickResetsTheCount) {
  Pump p;
  p.open();
  for (int i = 0; i < kSilentTicksForDeviceError - 1; ++i) p.gps->pumpTick();
  p.port.feed("x");
  p.gps->pumpTick();  // reads the byte, then an empty read: counts as one
  EXPECT_EQ(p.gps->emptyTicks, 1);
  for (int i = 0; i < kSilentTicksForDeviceError - 1; ++i) p.gps->pumpTick();
  EXPECT_FALSE(p.gps->currentFix.deviceError);
  p.gps->pumpTick();  // the first read after 100 silent ticks
  EXPECT_TRUE(p.gps->currentFix.deviceError);
}

TEST(PumpTick, AFailingReadIsADeviceErrorAtOnce) {
  Pump p;
  p.open();
  p.port.failReads = true;
  EXPECT_FALSE(p.tick());
  EXPECT_TRUE(p.gps->currentFix.deviceError);
  EXPECT_EQ(p.ticks.size(), 1u);  // the screens are still told
}

TEST(PumpTick, ATickNeverRunsInsideAnother) {
  Pump p;
  p.open();
  int nested = 0;
  p.gps->afterTick = [&](bool) {
    ++nested;
    p.gps->pumpTick();  // a nested message loop delivering a tick
  };
  p.port.feed(gga("120000") + "$");
  p.gps->pumpTick();
  EXPECT_EQ(nested, 1);
  EXPECT_FALSE(p.gps->pumpBusy);
}

TEST(PumpTick, LongLinesAndNoiseStayInsideTheLine) {
  Pump p;
  p.open();
  std::string noise;
  for (int i = 0; i < 4000; ++i) noise += static_cast<char>((i * 7919) % 256 == '$' ? 0 : (i * 7919) % 256);
  p.port.feed("$GPGGA," + std::string(600, '1') + "Z" + noise);
  for (int i = 0; i < 10; ++i) p.gps->pumpTick();
  EXPECT_EQ(p.gps->linePos, kLastLinePos);
  EXPECT_EQ(p.gps->line[511], '\0');
  // A line longer than 510 bytes keeps its first 510 and, last, the latest byte.
  EXPECT_EQ(std::string(p.gps->line, 7), "$GPGGA,");
  EXPECT_EQ(static_cast<unsigned char>(p.gps->line[kLastLinePos]), static_cast<unsigned char>(noise.back()));
  // Recovers at the next sentence.
  p.port.feed(gga("120000") + "$");
  bool gotFix = false;
  for (int i = 0; i < 5 && !gotFix; ++i) gotFix = p.tick();
  EXPECT_TRUE(gotFix);
  // A linePos set out of range from outside is not used as an index.
  p.gps->linePos = 9999;
  p.port.feed("abc");
  p.gps->pumpTick();
  EXPECT_EQ(p.gps->linePos, 3);
}

}  // namespace
}  // namespace corvantis

namespace corvantis {
namespace {

// A receiver that speaks as several constellations sends "$GNGGA" only.
std::string gnGga(int second) {
  char time[16];
  std::snprintf(time, sizeof time, "1200%02d", second % 60);
  return testing::nmeaSentence("GNGGA," + std::string(time) + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

struct TalkerWatch {
  Pump p;
  std::vector<std::string> hints;
  TalkerWatch() {
    p.gps->onOtherTalkerOnly = [this](const std::string& tag) { hints.push_back(tag); };
    p.open();
  }
  // One sentence per second (ten ticks) for `seconds` seconds.
  void run(int seconds, bool withGpgga) {
    for (int s = 0; s < seconds; ++s) {
      p.port.feed(gnGga(s));
      if (withGpgga) p.port.feed(gga("1200" + std::string(s % 60 < 10 ? "0" : "") + std::to_string(s % 60)));
      for (int t = 0; t < 10; ++t) p.gps->pumpTick();
    }
  }
};

TEST(TalkerHint, ToldOnceAfterTenSecondsOfOtherTalkersOnly) {
  TalkerWatch w;
  w.run(9, false);
  EXPECT_TRUE(w.hints.empty());
  w.run(30, false);
  ASSERT_EQ(w.hints.size(), 1u);
  EXPECT_EQ(w.hints[0], "$GNGGA");
  EXPECT_EQ(w.p.gps->history.count, 0);  // and, as configured, still no fix
}

TEST(TalkerHint, NotToldWhileGpggaArrivesOrAnyTalkerIsTaken) {
  TalkerWatch both;
  both.run(40, true);
  EXPECT_TRUE(both.hints.empty());
  EXPECT_GT(both.p.gps->history.count, 30);

  TalkerWatch any;
  any.p.gps->talkers = Talkers::Any;
  any.run(40, false);
  EXPECT_TRUE(any.hints.empty());
  EXPECT_GT(any.p.gps->history.count, 30);

  // A receiver that sent both and then fell silent: the device error says it all.
  TalkerWatch fellSilent;
  fellSilent.run(5, true);
  for (int t = 0; t < 300; ++t) fellSilent.p.gps->pumpTick();
  EXPECT_TRUE(fellSilent.hints.empty());
  EXPECT_TRUE(fellSilent.p.gps->currentFix.deviceError);

  TalkerWatch quiet;  // a receiver that sends nothing
  for (int t = 0; t < 400; ++t) quiet.p.gps->pumpTick();
  EXPECT_TRUE(quiet.hints.empty());
}

}  // namespace
}  // namespace corvantis
