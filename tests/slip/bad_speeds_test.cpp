// Speeds over ground that cannot be right, and lines that are not
// sentences: none of them makes a slip, or loses one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "slip/nmea_motion.h"
#include "slip/speed_check.h"
#include "slip/time_slip.h"
#include "tools/sim/simulator.h"

namespace corvantis::slip {
namespace {

struct Drive {
  sim::SimResult result;
  std::string log;
};

const Drive& quarterMile() {
  static const Drive drive = [] {
    sim::ScenarioParams params;
    params.speedsMph = {60.0};
    params.distancesM = {kRolloutM, 18.288, 402.336};
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    receiver.seed = 3;
    Drive d{sim::simulate(sim::quarterScenario(params), receiver), {}};
    d.log = sim::renderLog(d.result);
    return d;
  }();
  return drive;
}

std::string withChecksum(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

// The log with the speed field of $GPRMC sentences rewritten by `speed`
// (given the sentence's time of day in ms and its speed text; answers the
// new text).
std::string rewriteSpeeds(const std::string& log, const std::function<std::string(double, const std::string&)>& speed) {
  std::string out;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    at = end + 2;
    if (line.rfind("$GPRMC,", 0) == 0 && line.find(",A,") != std::string::npos) {
      std::vector<std::string> fields;
      const std::string body = line.substr(1, line.find('*') - 1);
      for (size_t from = 0;;) {
        const size_t comma = body.find(',', from);
        fields.push_back(body.substr(from, comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
      }
      double todMs = 0.0;
      parseTimeOfDay(fields[1], todMs);
      fields[7] = speed(todMs, fields[7]);
      std::string rebuilt = fields[0];
      for (size_t i = 1; i < fields.size(); ++i) rebuilt += "," + fields[i];
      line = withChecksum(rebuilt);
    }
    out += line + "\r\n";
  }
  return out;
}

double launchTimeOfDayMs() { return sim::timeOfDayMs(quarterMile().result.truth.starts[0].launchMs); }

TEST(BadSpeeds, EachCaseGivesTheSlipOfTheSoundSpeedsOrOfThePositions) {
  const std::vector<TimeSlip> clean = timeSlips(readMotion(quarterMile().log), {});
  ASSERT_EQ(clean.size(), 1u);
  ASSERT_EQ(clean[0].droppedSpeeds, 0);
  const double launch = launchTimeOfDayMs();
  bool launchFixSpiked = false;
  struct Case {
    const char* name;
    std::function<std::string(double, const std::string&)> speed;
    int dropped;           // speeds the checks drop
    bool fromPositions;    // timed from the positions, the speeds disagreeing
  };
  const Case cases[] = {
      // One corrupted value that still checks, in the middle of the run.
      {"99999.9 kn mid-run",
       [&](double tod, const std::string& v) { return std::fabs(tod - (launch + 5000.0)) < 50.0 ? "99999.9" : v; }, 1,
       false},
      // The launch fix itself (the first over 1 m/s): the launch stays.
      {"spike on the launch fix",
       [&](double tod, const std::string& v) {
         if (launchFixSpiked || tod < launch || std::atof(v.c_str()) < 2.0) return v;
         launchFixSpiked = true;
         return std::string("99999.9");
       },
       1, false},
      // Every speed twice what it was (a unit mixed up).
      {"all doubled",
       [](double, const std::string& v) {
         char text[32];
         std::snprintf(text, sizeof text, "%.3f", 2.0 * std::atof(v.c_str()));
         return std::string(text);
       },
       -1, true},
  };
  const sim::StandingStart& truth = quarterMile().result.truth.starts[0];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TimeSlip> slips = timeSlips(readMotion(rewriteSpeeds(quarterMile().log, c.speed)), {});
    ASSERT_EQ(slips.size(), 1u);
    const TimeSlip& slip = slips[0];
    EXPECT_EQ(slip.source, c.fromPositions ? SpeedSource::Positions : SpeedSource::SpeedOverGround);
    EXPECT_EQ(slip.speedsDisagreed, c.fromPositions);
    if (c.dropped >= 0) {
      EXPECT_EQ(slip.droppedSpeeds, c.dropped);
    }
    EXPECT_NEAR(slip.launchMs, truth.launchMs, slip.launchPlusMinusMs);
    for (const char* key : {"60ft", "1/4", "0-60"}) {
      const MarkResult* mark = slip.mark(key);
      ASSERT_TRUE(mark != nullptr && mark->reached) << key;
      const double trueMs = (key[0] == '0' ? *truth.speedMs(60.0) : *truth.distanceMs(key[0] == '6' ? 18.288 : 402.336)) -
                            truth.launchMs;
      EXPECT_NEAR(mark->timeMs, trueMs, mark->plusMinusMs) << key;
      if (!c.fromPositions) {
        // Without the dropped value the slip is the sound log's, to its own
        // ± from first motion and closely from the one-foot instant.
        const size_t m = static_cast<size_t>(mark - slip.marks.data());
        EXPECT_NEAR(slip.rolloutMarks[m].timeMs, clean[0].rolloutMarks[m].timeMs, 5.0) << key;
      }
    }
    // The quarter mile's trap speed is a car's, not 9288 mph.
    EXPECT_LT(slip.mark("1/4")->trapMps, 60.0);
  }
}

TEST(BadSpeeds, PhysicsAndPositionsJudgeEachSpeed) {
  // Standing, then 4 m/s^2 for 12 s, at 10 Hz, positions exact.
  constexpr double kRadiusM = 6371000.0, kPi = 3.141592653589793;
  std::vector<MotionFix> fixes;
  for (int i = 0; i < 150; ++i) {
    const double t = std::fmax(0.0, (i - 30) / 10.0);
    MotionFix fix;
    fix.timeMs = 43200000.0 + 100.0 * i;
    fix.hasPosition = fix.hasSpeed = true;
    fix.latitudeDeg = 48.0 + 2.0 * t * t / kRadiusM * 180.0 / kPi;
    fix.longitudeDeg = 11.0;
    fix.speedMps = 4.0 * t;
    fix.speedResolutionMps = 0.0005;
    fixes.push_back(fix);
  }
  std::vector<MotionFix> sound = fixes;
  EXPECT_EQ(dropImpossibleSpeeds(sound), 0);  // a hard launch is no spike
  EXPECT_TRUE(speedsAgreeWithPositions(sound, 30, 149));
  struct Case {
    const char* name;
    int index;
    double speed;
    bool dropped;
  };
  const Case cases[] = {
      {"faster than any car", 60, 250.0, true},
      {"a jump no 0.1 s can hold", 60, 12.0 + 3.0, true},  // 3 m/s above its neighbours' line
      {"at the first fix", 0, 8.0, true},
      {"within what 2 g allows", 60, 12.0 + 1.0, false},
  };
  for (const Case& c : cases) {
    std::vector<MotionFix> bad = fixes;
    bad[static_cast<size_t>(c.index)].speedMps = c.speed;
    EXPECT_EQ(dropImpossibleSpeeds(bad), c.dropped ? 1 : 0) << c.name;
    EXPECT_EQ(bad[static_cast<size_t>(c.index)].hasSpeed, !c.dropped) << c.name;
  }
  std::vector<MotionFix> scaled = fixes;
  for (MotionFix& fix : scaled) fix.speedMps *= 1.06;  // 6 % fast throughout: every fix passes alone
  EXPECT_FALSE(speedsAgreeWithPositions(scaled, 30, 149));
}

TEST(LongSentences, AreSplitOnlyAsFarAsASentenceGoes) {
  std::vector<std::string_view> fields;
  // A receiver with eight decimals of the minute writes 91 characters; its
  // checksum holds, and the fields up to the altitude are there.
  const std::string rtk = withChecksum("GNGGA,132819.60,4134.49795459,N,09345.03431408,W,2,10,0.9,278.161,M,-31.442,M,6.6,0133");
  ASSERT_GT(rtk.size(), kMaxSentenceChars);
  ASSERT_TRUE(splitSentence(rtk, fields));
  ASSERT_GE(fields.size(), 10u);
  EXPECT_EQ(fields[9], "278.161");
  EXPECT_LE(fields.size(), 14u);
  // As long without a checksum: nothing vouches for it.
  EXPECT_FALSE(splitSentence(rtk.substr(0, rtk.find('*')), fields));
  // A checked line of a million commas splits into no more fields than a sentence holds.
  const std::string commas = withChecksum("GPGGA" + std::string(1000000, ','));
  ASSERT_TRUE(splitSentence(commas, fields));
  EXPECT_LE(fields.size(), kMaxSentenceChars);

  // In a log, lines of millions of bytes change nothing of its slips.
  const std::string& log = quarterMile().log;
  const size_t middle = log.find("\r\n", log.size() / 3) + 2;
  const std::string damaged = log.substr(0, middle) + "$GPGGA," + std::string(3000000, '1') + "\r\n" + commas +
                              "\r\n" + log.substr(middle);
  const std::vector<TimeSlip> clean = timeSlips(readMotion(log), {});
  const std::vector<TimeSlip> slips = timeSlips(readMotion(damaged), {});
  ASSERT_EQ(clean.size(), 1u);
  ASSERT_EQ(slips.size(), 1u);
  EXPECT_DOUBLE_EQ(slips[0].mark("1/4")->timeMs, clean[0].mark("1/4")->timeMs);
}

}  // namespace
}  // namespace corvantis::slip
