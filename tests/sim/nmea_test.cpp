// The receiver's sentences: framing, checksums, field formats, rates, seeds
// and the optional damage.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <set>

#include "tests/sim/sim_test_support.h"
#include "tools/sim/nmea_format.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

using testing::checksumOk;
using testing::fieldsOf;
using testing::sentencesOf;

TEST(SimNmea, FieldFormatsAreThoseOfRealReceivers) {
  struct Case {
    double value;
    int decimals;
    const char* lat;
    char latHemisphere;
    const char* lon;
    char lonHemisphere;
  };
  const Case cases[] = {
      {48.1173, 3, "4807.038", 'N', "04807.038", 'E'},
      {-11.516666666666667, 4, "1131.0000", 'S', "01131.0000", 'W'},
      {0.0, 4, "0000.0000", 'N', "00000.0000", 'E'},
      // 59.99999 minutes rounds up into the next whole degree, never to "60.0000".
      {51.999999999, 4, "5200.0000", 'N', "05200.0000", 'E'},
      {-179.9999999, 5, "17959.99999", 'S', "17959.99999", 'W'},
      {-179.99999999, 5, "18000.00000", 'S', "18000.00000", 'W'},
      {9.5, 7, "0930.0000000", 'N', "00930.0000000", 'E'},
  };
  for (const Case& c : cases) {
    char h = '?';
    if (std::fabs(c.value) < 90.0) {
      EXPECT_EQ(formatLatitude(c.value, c.decimals, h), c.lat) << c.value;
      EXPECT_EQ(h, c.latHemisphere);
    }
    EXPECT_EQ(formatLongitude(c.value, c.decimals, h), c.lon) << c.value;
    EXPECT_EQ(h, c.lonHemisphere);
  }
  EXPECT_EQ(formatTimeOfDay(45319250u, 2), "123519.25");
  EXPECT_EQ(formatTimeOfDay(45319250u, 3), "123519.250");
  EXPECT_EQ(formatTimeOfDay(45319250u, 1), "123519.2");
  EXPECT_EQ(formatTimeOfDay(45319000u, 0), "123519");
  EXPECT_EQ(formatTimeOfDay(86399960u, 2), "235959.96");
  EXPECT_EQ(formatTimeOfDay(0u, 2), "000000.00");
  EXPECT_EQ(formatDate(2024, 2, 29), "290224");
  // The textbook sentence and its checksum.
  EXPECT_EQ(frameSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
            "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
}

// Every sentence of every rate: "$", checksum, CR LF, field counts and formats.
TEST(SimNmea, EverySentenceIsWellFormed) {
  const std::regex time(R"(\d{6}\.\d{2})"), lat(R"(\d{4}\.\d{4})"), lon(R"(\d{5}\.\d{4})"),
      decimal(R"(-?\d+\.\d+)"), twoDigits(R"(\d{2})"), date(R"(\d{6})");
  for (int rate : {1, 5, 10, 20, 25}) {
    SCOPED_TRACE(rate);
    ReceiverOptions rx;
    rx.rateHz = rate;
    rx.dropoutsPerMinute = 2.0;
    const SimResult r = simulate(demoScenario(), rx);
    const std::string log = renderLog(r);
    std::map<std::string, int> seen;
    int fixes = 0, noFix = 0;
    for (const std::string& s : sentencesOf(log)) {
      ASSERT_TRUE(checksumOk(s)) << s;
      ASSERT_LE(s.size(), 82u) << s;
      const auto f = fieldsOf(s);
      ++seen[f[0]];
      if (f[0] == "GPGGA") {
        ASSERT_EQ(f.size(), 15u) << s;
        ASSERT_TRUE(std::regex_match(f[1], time)) << s;
        if (f[6] == "1") {
          ++fixes;
          ASSERT_TRUE(std::regex_match(f[2], lat)) << s;
          ASSERT_TRUE(f[3] == "N" || f[3] == "S") << s;
          ASSERT_TRUE(std::regex_match(f[4], lon)) << s;
          ASSERT_TRUE(f[5] == "E" || f[5] == "W") << s;
          ASSERT_TRUE(std::regex_match(f[7], twoDigits)) << s;
          ASSERT_GE(std::stoi(f[7]), 4) << s;
          ASSERT_TRUE(std::regex_match(f[8], decimal)) << s;
          ASSERT_TRUE(std::regex_match(f[9], decimal)) << s;
          ASSERT_EQ(f[10], "M");
        } else {
          ++noFix;
          ASSERT_EQ(f[6], "0") << s;
          ASSERT_TRUE(f[2].empty() && f[4].empty()) << s;
        }
      } else if (f[0] == "GPRMC") {
        ASSERT_EQ(f.size(), 13u) << s;
        ASSERT_TRUE(std::regex_match(f[1], time)) << s;
        ASSERT_TRUE(f[2] == "A" || f[2] == "V") << s;
        ASSERT_TRUE(std::regex_match(f[9], date)) << s;
      } else if (f[0] == "GPGSA") {
        ASSERT_EQ(f.size(), 18u) << s;
      } else if (f[0] == "GPGSV") {
        const int inView = std::stoi(f[3]);
        const int total = std::stoi(f[1]), index = std::stoi(f[2]);
        ASSERT_EQ(total, (inView + 3) / 4);
        ASSERT_EQ(f.size(), 4u + 4u * static_cast<std::size_t>(std::min(4, inView - 4 * (index - 1)))) << s;
      } else {
        FAIL() << "unexpected sentence " << s;
      }
    }
    EXPECT_EQ(seen["GPGGA"], static_cast<int>(r.epochs.size()));
    EXPECT_EQ(seen["GPRMC"], static_cast<int>(r.epochs.size()));
    EXPECT_GT(seen["GPGSV"], 0);
    EXPECT_GT(noFix, 0);
    EXPECT_GT(fixes, noFix);
    // Nothing but sentences: no stray bytes between them.
    std::size_t total = 0;
    for (const std::string& s : sentencesOf(log)) total += s.size();
    EXPECT_EQ(total, log.size());
    // Fixes come on whole periods of UTC.
    const uint32_t period = 1000u / static_cast<uint32_t>(rate);
    for (std::size_t i = 0; i < r.epochs.size(); ++i) {
      ASSERT_EQ(r.epochs[i].timeOfDayMs % period, 0u);
      if (i > 0) {
        ASSERT_EQ(r.epochs[i].dayMs - r.epochs[i - 1].dayMs, period);
      }
    }
  }
}

TEST(SimNmea, SameSeedSameLogOtherSeedOtherLog) {
  ReceiverOptions rx;
  rx.rateHz = 10;
  rx.seed = 42;
  const std::string a = renderLog(simulate(quarterScenario(), rx));
  EXPECT_EQ(a, renderLog(simulate(quarterScenario(), rx)));
  rx.seed = 43;
  EXPECT_NE(a, renderLog(simulate(quarterScenario(), rx)));
  // Without noise the positions do not depend on the seed.
  rx.noise = false;
  const SimResult quiet1 = simulate(quarterScenario(), rx);
  rx.seed = 44;
  const SimResult quiet2 = simulate(quarterScenario(), rx);
  ASSERT_EQ(quiet1.epochs.size(), quiet2.epochs.size());
  for (std::size_t i = 0; i < quiet1.epochs.size(); ++i) {
    EXPECT_EQ(quiet1.epochs[i].reportedPosition.latitudeDeg, quiet1.epochs[i].truePosition.latitudeDeg);
    EXPECT_EQ(quiet1.epochs[i].reportedPosition.latitudeDeg, quiet2.epochs[i].reportedPosition.latitudeDeg);
    EXPECT_EQ(quiet1.epochs[i].reportedPosition.longitudeDeg, quiet2.epochs[i].reportedPosition.longitudeDeg);
  }
}

// The default receiver is quiet: its positions are off by well under a few
// metres, the speed between fixes jitters by a fraction of a metre a second
// at any rate, and standing still it holds its position exactly.
TEST(SimNmea, DefaultNoiseIsThatOfAQuietGoodReceiver) {
  for (int rate : {1, 25}) {
    SCOPED_TRACE(rate);
    ReceiverOptions rx;
    rx.rateHz = rate;
    rx.minuteDecimals = 8;
    rx.timeDecimals = 3;
    const SimResult r = simulate(quarterScenario(), rx);
    double worst = 0.0, worstSpeedError = 0.0;
    int held = 0;
    for (std::size_t i = 0; i < r.epochs.size(); ++i) {
      const Epoch& e = r.epochs[i];
      worst = std::max(worst, haversineM(e.truePosition, e.reportedPosition));
      if (i == 0) continue;
      const Epoch& p = r.epochs[i - 1];
      if (e.speedMps == 0.0 && p.speedMps == 0.0) {
        EXPECT_EQ(e.reportedPosition.latitudeDeg, p.reportedPosition.latitudeDeg);
        EXPECT_EQ(e.reportedPosition.longitudeDeg, p.reportedPosition.longitudeDeg);
        ++held;
      } else if (e.speedMps > 1.0 && p.speedMps > 1.0) {
        const double dt = e.driveTimeS - p.driveTimeS;
        const double reported = haversineM(p.reportedPosition, e.reportedPosition) / dt;
        const double truth = haversineM(p.truePosition, e.truePosition) / dt;
        worstSpeedError = std::max(worstSpeedError, std::fabs(reported - truth));
      }
    }
    EXPECT_GT(worst, 0.01);
    EXPECT_LT(worst, 3.0);
    EXPECT_GT(worstSpeedError, 0.0);
    EXPECT_LT(worstSpeedError, 0.5);
    EXPECT_GT(held, 5);
  }
}

TEST(SimNmea, TalkerAndFormatOptions) {
  ReceiverOptions rx;
  rx.talker = "GN";
  rx.minuteDecimals = 6;
  rx.timeDecimals = 3;
  const std::string log = renderLog(simulate(accelScenario(), rx));
  std::set<std::string> tags;
  for (const std::string& s : sentencesOf(log)) {
    ASSERT_TRUE(checksumOk(s)) << s;
    const auto f = fieldsOf(s);
    tags.insert(f[0]);
    if (f[0] == "GNGGA") {
      EXPECT_TRUE(std::regex_match(f[1], std::regex(R"(\d{6}\.\d{3})"))) << s;
      EXPECT_TRUE(std::regex_match(f[2], std::regex(R"(\d{4}\.\d{6})"))) << s;
    }
  }
  EXPECT_EQ(tags, (std::set<std::string>{"GNGGA", "GNGSA", "GNRMC", "GPGSV"}));
}

TEST(SimNmea, DamageIsCountedAndLeavesTheRestAlone) {
  ReceiverOptions clean;
  clean.rateHz = 5;
  ReceiverOptions damaged = clean;
  damaged.corruptProbability = 0.05;
  damaged.binaryProbability = 0.2;
  const SimResult a = simulate(demoScenario(), clean);
  const SimResult b = simulate(demoScenario(), damaged);
  ASSERT_GT(b.truth.corruptedSentences, 10);
  ASSERT_GT(b.truth.binaryBursts, 10);
  // Damage draws from its own stream: the positions are those of the clean run.
  ASSERT_EQ(a.epochs.size(), b.epochs.size());
  int badEpochs = 0, binaryEpochs = 0;
  for (std::size_t i = 0; i < a.epochs.size(); ++i) {
    ASSERT_EQ(a.epochs[i].reportedPosition.latitudeDeg, b.epochs[i].reportedPosition.latitudeDeg);
    if (a.epochs[i].text != b.epochs[i].text) ++badEpochs;
    if (b.epochs[i].text.find("\xB5\x62") != std::string::npos) ++binaryEpochs;
  }
  EXPECT_GE(binaryEpochs, b.truth.binaryBursts);
  EXPECT_GE(badEpochs, binaryEpochs);
  // Every flipped bit spoils exactly one checksum (a flip may split a sentence; count generously).
  int bad = 0;
  for (const std::string& s : sentencesOf(renderLog(b)))
    if (!checksumOk(s)) ++bad;
  EXPECT_GT(bad, b.truth.corruptedSentences / 2);
}

}  // namespace
}  // namespace corvantis::sim
