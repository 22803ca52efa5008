// A tick takes every complete sentence that has arrived and hands every fix
// the history accepts to the screens, one update each, in order: chatty
// receivers, fast receivers and backlogs after a pause.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/nmea_text.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis {
namespace {

using testing::FakeSerialPort;
using testing::nmeaSentence;
using testing::ScriptedMessageBoxes;

// hhmmss.ss of a time of day in ms.
std::string timeField(uint32_t ms) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u%02u%02u.%02u", ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u,
                ms % 1000u / 10u);
  return text;
}

// A fix moving north at about 62 mph (0.015 minutes of latitude a second).
std::string gga(uint32_t ms) {
  char latitude[24];
  std::snprintf(latitude, sizeof latitude, "%.5f", 4807.0 + 0.000015 * static_cast<double>(ms - 43200000u));
  return nmeaSentence("GPGGA," + timeField(ms) + "," + latitude + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

// One epoch of a receiver that reports four satellite systems: GGA, RMC,
// GLL, a GSA for each system and three GSV sentences for each, about 1.5 KB.
std::string chattyEpoch(uint32_t ms) {
  std::string text = gga(ms);
  text += nmeaSentence("GNRMC," + timeField(ms) + ",A,4807.038,N,01131.000,E,52.1,0.0,130626,,,A");
  text += nmeaSentence("GNGLL,4807.038,N,01131.000,E," + timeField(ms) + ",A,A");
  for (const char* system : {"1", "2", "3", "4"}) {
    text += nmeaSentence(std::string("GNGSA,A,3,05,07,09,11,13,15,17,19,21,23,,,1.51,0.82,1.27,") + system);
  }
  for (const char* talker : {"GP", "GL", "GA", "GB"}) {
    for (int k = 1; k <= 4; ++k) {
      text += nmeaSentence(std::string(talker) + "GSV,4," + std::to_string(k) +
                           ",12,05,41,123,44,07,22,301,38,09,63,045,47,11,15,210,33,1");
    }
  }
  return text;
}

struct Pump {
  FakeSerialPort port;
  ScriptedMessageBoxes boxes;
  std::unique_ptr<GpsInput> gps = std::make_unique<GpsInput>(port, boxes);
  // Each update: whether it had a fix and the newest fix time it saw.
  std::vector<bool> updates;
  std::vector<uint32_t> seenFixMs;

  Pump() {
    gps->afterTick = [this](bool newFix) {
      updates.push_back(newFix);
      if (newFix) seenFixMs.push_back(gps->history.newestFixTime());
    };
    gps->openPort(5, 0);
  }
};

std::vector<uint32_t> everyMs(uint32_t fromMs, uint32_t stepMs, int count) {
  std::vector<uint32_t> times;
  for (int i = 0; i < count; ++i) times.push_back(fromMs + stepMs * static_cast<uint32_t>(i));
  return times;
}

TEST(PumpDrain, EachFixOfATickReachesTheScreensWithItsOwnState) {
  Pump p;
  std::vector<double> latitudes;
  std::vector<uint32_t> previousMs;
  p.gps->afterTick = [&](bool newFix) {
    p.updates.push_back(newFix);
    latitudes.push_back(p.gps->currentFix.latitude);
    previousMs.push_back(p.gps->history.previous().time);
  };
  p.port.feed(gga(43200000) + gga(43200100) + gga(43200200) + "$");
  p.gps->pumpTick();
  EXPECT_EQ(p.updates, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(p.gps->history.count, 3);
  // Each update sees the history and the current fix as they were right
  // after its own fix: the step from the fix before it, never a later one.
  EXPECT_EQ(previousMs[1], 43200000u);
  EXPECT_EQ(previousMs[2], 43200100u);
  EXPECT_LT(latitudes[0], latitudes[1]);
  EXPECT_LT(latitudes[1], latitudes[2]);
  EXPECT_GT(p.gps->currentFix.speed, 50.0f);
}

TEST(PumpDrain, OnlyFixesTheHistoryAcceptsReachTheScreens) {
  // A second of a 25 Hz receiver in one tick: the history keeps the fixes
  // at least 100 ms apart, one in three.
  Pump p;
  for (uint32_t ms = 43200000; ms < 43201000; ms += 40) p.port.feed(gga(ms));
  p.port.feed("$");
  p.gps->pumpTick();
  EXPECT_EQ(p.seenFixMs, everyMs(43200000, 120, 9));
  EXPECT_EQ(p.updates.size(), 9u);
}

TEST(PumpDrain, ABacklogOf26SecondsOfAChattyReceiverIsWorkedOffInOneTick) {
  Pump p;
  std::size_t bytes = 0;
  for (const uint32_t ms : everyMs(43200000, 100, 260)) {
    const std::string epoch = chattyEpoch(ms);
    bytes += epoch.size();
    p.port.feed(epoch);
  }
  p.port.feed("$");
  ASSERT_GT(bytes, 260u * 1500u);
  p.gps->pumpTick();
  EXPECT_EQ(p.seenFixMs, everyMs(43200000, 100, 260));
  EXPECT_EQ(p.updates, std::vector<bool>(260, true));
  EXPECT_TRUE(p.port.pending.empty());
  // The screens show the present: the next tick finds nothing left.
  p.gps->pumpTick();
  EXPECT_EQ(p.updates.back(), false);
  EXPECT_EQ(p.gps->history.count, 260);
}

TEST(PumpDrain, EverySentenceOfThreeKilobytesInOneTickIsDecoded) {
  // Two chatty epochs and a third GGA whose end arrives in the same bytes.
  Pump p;
  const std::string bytes = chattyEpoch(43200000) + chattyEpoch(43200100) + gga(43200200) + "$GPRMC,";
  ASSERT_GT(bytes.size(), 3000u);
  p.port.feed(bytes);
  p.gps->pumpTick();
  EXPECT_EQ(p.seenFixMs, everyMs(43200000, 100, 3));
  EXPECT_TRUE(p.port.pending.empty());
  EXPECT_STREQ(p.gps->line, "$GPRMC,");  // the unfinished sentence waits for its end
}

TEST(PumpDrain, AHoldOffSetByAnUpdateLeavesTheRestForTheNextScreen) {
  Pump p;
  p.gps->afterTick = [&](bool newFix) {
    p.updates.push_back(newFix);
    if (p.updates.size() == 1) p.gps->holdOffTicks = 10;  // the update changed the screen
  };
  p.port.feed(gga(43200000) + gga(43200100) + gga(43200200) + "$");
  p.gps->pumpTick();
  EXPECT_EQ(p.updates, std::vector<bool>{true});
  EXPECT_EQ(p.gps->history.count, 1);
  for (int i = 0; i < 10; ++i) p.gps->pumpTick();
  EXPECT_EQ(p.updates.size(), 1u);
  p.gps->pumpTick();
  EXPECT_EQ(p.updates, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(p.gps->history.count, 3);
}

TEST(PumpDrain, ALinkThatFailsOrClosesAfterAFixEndsTheTickCleanly) {
  // Fails: the error is shown in the same tick, after the fix's update.
  Pump failing;
  failing.gps->afterTick = [&](bool newFix) {
    failing.updates.push_back(newFix);
    failing.port.failReads = true;
  };
  failing.port.feed(gga(43200000) + gga(43200100) + "$");
  failing.gps->pumpTick();
  EXPECT_EQ(failing.updates, (std::vector<bool>{true, false}));
  EXPECT_TRUE(failing.gps->currentFix.deviceError);
  EXPECT_EQ(failing.gps->history.count, 1);

  // Closed by the update: nothing more is read from it.
  Pump closing;
  closing.gps->afterTick = [&](bool newFix) {
    closing.updates.push_back(newFix);
    closing.gps->closePort();
  };
  closing.port.feed(gga(43200000) + gga(43200100) + "$");
  const long readsBefore = closing.port.readCount;
  closing.gps->pumpTick();
  EXPECT_EQ(closing.updates, std::vector<bool>{true});
  EXPECT_FALSE(closing.port.pending.empty());
  EXPECT_GT(closing.port.readCount, readsBefore);
  EXPECT_FALSE(closing.gps->pumpBusy);
}

TEST(PumpDrain, TheSilenceCountIgnoresTicksThatGaveAFix) {
  const struct {
    const char* what;
    std::string bytes;
    int32_t emptyTicksAfter;
  } cases[] = {
      {"a fix", gga(43200000) + "$", 0},
      {"two fixes", gga(43200000) + gga(43200100) + "$", 0},
      {"bytes without a fix", "$GPRMC,1,2,3", 1},
      {"nothing", "", 1},
  };
  for (const auto& c : cases) {
    Pump p;
    p.port.feed(c.bytes);
    p.gps->pumpTick();
    EXPECT_EQ(p.gps->emptyTicks, c.emptyTicksAfter) << c.what;
  }
}

}  // namespace
}  // namespace corvantis
