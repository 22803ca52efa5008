#include "gps/nmea_decoder.h"

#include <gtest/gtest.h>

#include "tests/support/nmea_text.h"

#include <memory>
#include <string>

namespace corvantis {
namespace {

const char* const kMunichGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n$";

struct Decoder {
  CurrentFix fix;
  std::unique_ptr<FixHistory> history = std::make_unique<FixHistory>();
  bool decode(const std::string& text) { return decodeSentence(text.c_str(), fix, *history); }
};

using testing::nmeaSentence;

std::string gga(const std::string& time, const std::string& quality = "1", const std::string& sats = "08",
                const std::string& hdop = "0.9") {
  return nmeaSentence("GPGGA," + time + ",4807.038,N,01131.000,E," + quality + "," + sats + "," + hdop +
                      ",545.4,M,46.9,M,,") + "$";
}

TEST(ExtractField, FieldsBetweenCommas) {
  const struct {
    const char* text;
    int index;
    bool found;
    const char* field;
  } cases[] = {
      {"$GPGGA,123519,4807.038,N", 1, true, "123519"},
      {"$GPGGA,123519,4807.038,N", 2, true, "4807.038"},
      {"$GPGGA,123519,4807.038,N", 3, false, ""},  // last field: no comma after it
      {"$GPGGA,123519,4807.038,N", 4, false, ""},  // fewer fields
      {"$GPGGA,,4807.038,N", 1, false, ""},        // empty field
      {",,a,", 1, true, "a"},                      // the first search starts after the first character
      {"", 1, false, ""},
      {"$GPGGA,x,y", 0, false, ""},
      {"$GPGGA,12345678901234567890123456789012345,", 1, true, "1234567890123456789012345678901"},
  };
  for (const auto& c : cases) {
    FieldBuffer out;
    out[0] = 'z';
    EXPECT_EQ(extractField(c.text, c.index, out), c.found) << c.text << " #" << c.index;
    EXPECT_STREQ(out, c.field) << c.text << " #" << c.index;
  }
}

TEST(ReadNumbers, LeadingCharactersOnly) {
  EXPECT_EQ(readInteger(""), 0);
  EXPECT_EQ(readInteger(" 08x"), 8);
  EXPECT_EQ(readInteger("-12"), -12);
  EXPECT_EQ(readInteger("99999999999999"), 2147483647);
  EXPECT_EQ(readDecimal(""), 0.0);
  EXPECT_EQ(readDecimal("-0704.5"), -704.5);
  EXPECT_EQ(readDecimal("0NaN"), 0.0);
  EXPECT_EQ(readDecimal("NaN"), 0.0);
  EXPECT_EQ(readDecimal("inf"), 0.0);
  EXPECT_EQ(readDecimal("1e999"), 0.0);
  EXPECT_EQ(readDecimal(".5M"), 0.5);
  EXPECT_EQ(readDecimal("2.5e1"), 25.0);
}

TEST(DecodeSentence, ReferenceFix) {
  Decoder d;
  EXPECT_TRUE(d.decode(kMunichGga));
  EXPECT_EQ(d.fix.satellites, 8);
  EXPECT_EQ(d.fix.hdop, 0);
  EXPECT_DOUBLE_EQ(d.fix.latitude, 48.1173);
  EXPECT_DOUBLE_EQ(d.fix.longitude, 11.0 + 31.0 / 60.0);
  EXPECT_EQ(d.fix.speed, 0.0f);
  const FixSample& newest = d.history->newest();
  EXPECT_EQ(newest.time, 45319000u);
  EXPECT_EQ(newest.altitude, 545.4f);
  EXPECT_EQ(newest.latitude, d.fix.latitude);
  EXPECT_EQ(d.history->count, 1);

  Decoder fraction;
  EXPECT_TRUE(fraction.decode(gga("123519.25")));
  EXPECT_EQ(fraction.history->newestFixTime(), 45319250u);
}

TEST(DecodeSentence, SouthAndWestNegate) {
  Decoder d;
  EXPECT_TRUE(d.decode(nmeaSentence("GPGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,")));
  EXPECT_DOUBLE_EQ(d.fix.latitude, -48.1173);
  EXPECT_DOUBLE_EQ(d.fix.longitude, -(11.0 + 31.0 / 60.0));
}

TEST(DecodeSentence, TimeFractions) {
  const struct {
    const char* time;
    uint32_t timeMs;
  } cases[] = {
      {"123519.5", 45319500},    {"123519.25", 45319250},  {"123519.123", 45319123},
      {"123519.1234", 45319123}, {"123519.12345", 45319123}, {"123519", 45319000},
      {"123519.", 45319000},     {"000000.000", 0},          {"235959.999", 86399999},
  };
  for (const auto& c : cases) {
    Decoder d;
    ASSERT_TRUE(d.decode(gga(c.time))) << c.time;
    EXPECT_EQ(d.history->newestFixTime(), c.timeMs) << c.time;
  }
}

TEST(DecodeSentence, NoFixSetsSatellitesToZero) {
  for (const char* quality : {"0", ""}) {
    Decoder d;
    d.fix.hdop = 5;
    EXPECT_FALSE(d.decode(gga("123519", quality))) << quality;
    EXPECT_EQ(d.fix.satellites, 0);
    EXPECT_EQ(d.fix.hdop, 5);
    EXPECT_EQ(d.history->count, 0);
    EXPECT_EQ(d.fix.latitude, 0.0);
  }
  // Field 6 as the last field (no comma after it) cannot be read: no fix.
  Decoder cut;
  EXPECT_FALSE(cut.decode("$GPGGA,123519,4807.038,N,01131.000,E,1"));
  EXPECT_EQ(cut.fix.satellites, 0);
}

TEST(DecodeSentence, FixWithoutSatelliteCountIsRecorded) {
  Decoder d;
  EXPECT_TRUE(d.decode(gga("123519", "1", "")));
  EXPECT_EQ(d.fix.satellites, 0);
  EXPECT_EQ(d.history->count, 1);
  EXPECT_EQ(gpsStatusText(d.fix), "Waiting for satellite fix...");
}

TEST(DecodeSentence, OtherSentencesChangeNothing) {
  for (const char* text : {"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n$",
                           "$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n$",
                           "$gpgga,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n$",
                           "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n$", "$GPGG", ""}) {
    Decoder d;
    EXPECT_FALSE(d.decode(text)) << text;
    EXPECT_EQ(d.fix.satellites, -1) << text;
    EXPECT_EQ(d.history->count, 0) << text;
  }
}

TEST(DecodeSentence, SentenceEndingAfterAltitudeHasAltitudeZero) {
  Decoder d;
  EXPECT_TRUE(d.decode("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4"));
  EXPECT_EQ(d.history->newest().altitude, 0.0f);
}

TEST(DecodeSentence, RefusedFixKeepsSpeedAndPosition) {
  Decoder d;
  ASSERT_TRUE(d.decode(gga("123519")));
  EXPECT_FALSE(d.decode(nmeaSentence("GPGGA,123519.05,4808.000,N,01131.000,E,1,05,2.1,545.4,M,46.9,M,,")));
  EXPECT_DOUBLE_EQ(d.fix.latitude, 48.1173);
  EXPECT_EQ(d.fix.satellites, 5);  // satellites and hdop follow every GGA with a fix
  EXPECT_EQ(d.fix.hdop, 2);
}

TEST(DecodeSentence, FullHistoryStillUpdatesTheCurrentFix) {
  Decoder d;
  ASSERT_TRUE(d.decode(gga("120000")));
  d.history->count = FixHistory::kCapacity;
  // 1 arc-minute of latitude north in one second: a real speed.
  EXPECT_TRUE(d.decode(nmeaSentence("GPGGA,120001,4808.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")));
  EXPECT_DOUBLE_EQ(d.fix.latitude, 48.0 + 8.038 / 60.0);
  EXPECT_GT(d.fix.speed, 100.0f);
  EXPECT_EQ(d.fix.speed, d.history->newest().speed);
  EXPECT_EQ(d.history->count, FixHistory::kCapacity);
}

TEST(DecodeSentence, GarbageIsHarmless) {
  Decoder d;
  const std::string longField(200, '9');
  EXPECT_FALSE(d.decode("$GPGGA," + longField + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,"));  // 99:99:99
  EXPECT_TRUE(d.decode("$GPGGA,1,2,N,3,E,1,4,1e300,9e99,M"));
  EXPECT_EQ(d.fix.hdop, 2147483647);
  EXPECT_TRUE(d.decode("$GPGGA,1.5,4807.038,N,01131.000,E,1,08,0NaN,,,"));
  EXPECT_EQ(d.fix.hdop, 0);
}

// A checksum that is there must hold, or the sentence changes nothing at
// all; one that is missing is no reason to refuse a fix.
TEST(DecodeSentence, AChecksumThatIsThereMustHold) {
  const std::string body = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
  const std::string sound = nmeaSentence(body);  // ...*47
  ASSERT_EQ(sound.substr(sound.size() - 5), "*47\r\n");
  const struct {
    const char* name;
    std::string text;
    bool recorded;
  } cases[] = {
      {"upper-case digits", sound + "$", true},
      {"wrong checksum in lower case", "$" + body + "*4a\r\n$", false},
      {"no checksum", "$" + body + "\r\n$", true},
      {"no checksum, end of text", "$" + body, true},
      {"checksum at the end of the text", "$" + body + "*47", true},
      {"wrong checksum", "$" + body + "*46\r\n$", false},
      {"hour damaged", "$" + std::string(body).replace(6, 2, "13") + "*47\r\n$", false},
      {"one digit only", "$" + body + "*4\r\n$", false},
      {"nothing after the star", "$" + body + "*", false},
      {"not hex", "$" + body + "*G7\r\n$", false},
      {"a star in the next sentence only", "$" + body + "\r\n$GPRMC,1*00", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder d;
    d.fix.hdop = 6;
    EXPECT_EQ(d.decode(c.text), c.recorded);
    EXPECT_EQ(d.history->count, c.recorded ? 1 : 0);
    EXPECT_EQ(d.fix.satellites, c.recorded ? 8 : -1) << "a refused sentence leaves the satellites";
    EXPECT_EQ(d.fix.hdop, c.recorded ? 0 : 6);
  }
  // Hex letters hold in either case.
  std::string lower = nmeaSentence(body + "Z");
  ASSERT_EQ(lower.substr(lower.size() - 5), "*1D\r\n");
  lower[lower.size() - 3] = 'd';
  Decoder d;
  EXPECT_TRUE(d.decode(lower));
}

TEST(GpsStatusText, EveryState) {
  const struct {
    int32_t satellites;
    int32_t hdop;
    bool deviceError;
    const char* text;  // nullptr: leave the status as it is
  } cases[] = {
      {8, 2, true, "GPS Device Error"},
      {-1, 1, true, "GPS Device Error"},
      {0, 1, false, "Waiting for satellite fix..."},
      {3, 1, false, "Waiting for satellite fix..."},
      {-1, 1, false, nullptr},
      {4, 2, false, "fix quality: 2 (excellent)"},
      {8, 3, false, "fix quality: 3"},
      {8, 7, false, "fix quality: 7"},
      {12, 8, false, "fix quality: 8 (errornous)"},
  };
  for (const auto& c : cases) {
    CurrentFix fix;
    fix.satellites = c.satellites;
    fix.hdop = c.hdop;
    fix.deviceError = c.deviceError;
    const auto text = gpsStatusText(fix);
    if (c.text == nullptr) {
      EXPECT_FALSE(text.has_value());
    } else {
      EXPECT_EQ(text, c.text) << c.satellites << " " << c.hdop;
    }
  }
  // hdop fields 2.9, 3.0, 7.9 and 8.0 as decoded.
  const struct {
    const char* hdop;
    const char* text;
  } decoded[] = {{"2.9", "fix quality: 2 (excellent)"}, {"3.0", "fix quality: 3"},
                 {"7.9", "fix quality: 7"}, {"8.0", "fix quality: 8 (errornous)"}};
  for (const auto& c : decoded) {
    Decoder d;
    ASSERT_TRUE(d.decode(gga("123519", "1", "08", c.hdop)));
    EXPECT_EQ(gpsStatusText(d.fix), c.text) << c.hdop;
  }
}

}  // namespace
}  // namespace corvantis

namespace corvantis {
namespace {

// A fix sentence of `tag` at `time`.
std::string taggedGga(const std::string& tag, const std::string& time) {
  return testing::nmeaSentence(tag.substr(1) + "," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "$";
}

TEST(Talkers, WhichGgaSentencesCarryFixes) {
  const struct {
    const char* tag;
    bool gpsOnly, any;
  } cases[] = {
      {"$GPGGA", true, true},   {"$GNGGA", false, true},  {"$GLGGA", false, true}, {"$GAGGA", false, true},
      {"$GBGGA", false, true},  {"$BDGGA", false, true},  {"$GQGGA", false, true}, {"$INGGA", false, true},
      {"$GNRMC", false, false}, {"$gnGGA", false, false}, {"$G1GGA", false, false}, {"$GGA", false, false},
      {"$GNGGB", false, false},
  };
  for (const auto& c : cases) {
    for (const Talkers rule : {Talkers::GpsOnly, Talkers::Any}) {
      CurrentFix fix;
      auto history = std::make_unique<FixHistory>();
      const bool expected = rule == Talkers::Any ? c.any : c.gpsOnly;
      EXPECT_EQ(decodeSentence(taggedGga(c.tag, "123519").c_str(), fix, *history, rule), expected)
          << c.tag << (rule == Talkers::Any ? " any talker" : " GPS only");
      EXPECT_EQ(history->count, expected ? 1 : 0) << c.tag;
      EXPECT_EQ(fix.satellites, expected ? 8 : -1) << c.tag;
    }
  }
}

TEST(Talkers, AnEpochSentByTwoTalkersIsOneFix) {
  // Receivers that send $GPGGA and $GNGGA (or $GLGGA) for the same instant:
  // the second sentence of the epoch must not count as a fix of its own.
  CurrentFix fix;
  auto history = std::make_unique<FixHistory>();
  int fixes = 0;
  for (const char* time : {"123519.00", "123520.00", "123521.00"}) {
    for (const char* tag : {"$GPGGA", "$GNGGA", "$GLGGA"}) {
      fixes += decodeSentence(taggedGga(tag, time).c_str(), fix, *history, Talkers::Any) ? 1 : 0;
    }
  }
  EXPECT_EQ(fixes, 3);
  EXPECT_EQ(history->count, 3);
  EXPECT_EQ(history->newestFixTime(), 45321000u);
  EXPECT_EQ(history->previous().time, 45320000u);
}

}  // namespace
}  // namespace corvantis
