#include "slip/nmea_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace corvantis::slip {
namespace {

// "$" + body + "*HH\r\n" with the body's own checksum.
std::string sentence(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

TEST(SlipNmea, FieldsOfTimesAndCoordinates) {
  struct Case {
    const char* field;
    bool ok;
    double ms;
  };
  for (const Case& c : {Case{"123519", true, 45319000.0}, Case{"123519.25", true, 45319250.0},
                        Case{"000000.05", true, 50.0}, Case{"235959.999", true, 86399999.0}, Case{"12351", false, 0},
                        Case{"1235a9", false, 0}, Case{"243000", false, 0}, Case{"123519,5", false, 0}}) {
    double ms = -1.0;
    EXPECT_EQ(parseTimeOfDay(c.field, ms), c.ok) << c.field;
    if (c.ok) {
      EXPECT_NEAR(ms, c.ms, 1e-6) << c.field;
    }
  }
  double deg = 0.0;
  ASSERT_TRUE(parseCoordinate("4807.038", 2, "N", deg));
  EXPECT_NEAR(deg, 48.1173, 1e-12);
  ASSERT_TRUE(parseCoordinate("01131.000", 3, "W", deg));
  EXPECT_NEAR(deg, -11.516666666666667, 1e-12);
  EXPECT_FALSE(parseCoordinate("4860.000", 2, "N", deg));  // 60 minutes
  EXPECT_FALSE(parseCoordinate("4807.038", 2, "X", deg));
  EXPECT_FALSE(parseCoordinate("48", 2, "N", deg));
}

TEST(SlipNmea, ChecksumsGuardTheFields) {
  std::vector<std::string_view> fields;
  const std::string good = sentence("GPRMC,120000.00,A,4807.0380,N,01131.0000,E,10.000,74.0,130626,,,A");
  EXPECT_TRUE(splitSentence(good, fields));
  EXPECT_EQ(fields.size(), 13u);
  std::string flipped = good;
  flipped[20] ^= 0x04;
  EXPECT_FALSE(splitSentence(flipped, fields));
  EXPECT_FALSE(splitSentence(good.substr(0, good.size() - 4), fields));  // checksum cut off after one digit
  EXPECT_TRUE(splitSentence("$GPVTG,,T,,M,1.0,N,1.852,K,A", fields));    // none given: taken
}

TEST(SlipNmea, JoinsTheSentencesOfEachEpoch) {
  std::string log;
  log += sentence("GPGGA,120000.00,4800.0000,N,01100.0000,E,1,08,0.9,100.0,M,47.0,M,,");
  log += sentence("GPGSA,A,3,01,02,03,04,,,,,,,,,1.6,0.9,1.3");
  log += sentence("GPRMC,120000.00,A,4800.0000,N,01100.0000,E,1.944,74.0,130626,,,A");
  // A speed-only epoch (its GGA lost) and a VTG that belongs to it.
  log += sentence("GNRMC,120000.10,A,4800.0001,N,01100.0001,E,3.000,74.0,130626,,,A");
  log += sentence("GNVTG,74.0,T,,M,3.000,N,7.200,K,A");
  // A garbled GGA moves nothing; its RMC still gives the speed.
  std::string bad = sentence("GPGGA,120000.20,4800.0002,N,01100.0002,E,1,08,0.9,100.0,M,47.0,M,,");
  bad[30] ^= 0x01;
  log += bad;
  log += sentence("GPRMC,120000.20,V,,,,,,,130626,,,N");
  // A step back (a stray repeat) is dropped.
  log += sentence("GPGGA,115959.00,4800.0000,N,01100.0000,E,1,08,0.9,100.0,M,47.0,M,,");
  log += sentence("GPGGA,120000.30,4800.0003,S,01100.0003,W,1,08,0.9,100.0,M,47.0,M,,");
  const std::vector<MotionFix> fixes = readMotion(log);
  ASSERT_EQ(fixes.size(), 3u);
  EXPECT_DOUBLE_EQ(fixes[0].timeMs, 43200000.0);
  EXPECT_TRUE(fixes[0].hasPosition);
  EXPECT_NEAR(fixes[0].latitudeDeg, 48.0, 1e-12);
  EXPECT_NEAR(fixes[0].altitudeM, 100.0, 1e-12);
  EXPECT_TRUE(fixes[0].hasSpeed);
  EXPECT_NEAR(fixes[0].speedMps, 1.944 * 1852.0 / 3600.0, 1e-12);
  EXPECT_NEAR(fixes[1].timeMs, 43200100.0, 1e-6);
  EXPECT_FALSE(fixes[1].hasPosition);
  EXPECT_NEAR(fixes[1].speedMps, 2.0, 1e-12);  // the VTG's km/h replaced the RMC's knots
  EXPECT_NEAR(fixes[2].timeMs, 43200300.0, 1e-6);
  EXPECT_LT(fixes[2].latitudeDeg, 0.0);
  EXPECT_LT(fixes[2].longitudeDeg, 0.0);
  EXPECT_FALSE(fixes[2].hasSpeed);
}

TEST(SlipNmea, KeepsTheLastDigitOfSpeedsAndPositions) {
  std::string log;
  log += sentence("GPGGA,120000.00,4800.00000,N,01100.00000,E,1,08,0.9,100.0,M,47.0,M,,");
  log += sentence("GPRMC,120000.00,A,4800.00000,N,01100.00000,E,12.3,74.0,130626,,,A");
  log += sentence("GPGGA,120000.10,4800.0000001,N,01100.0000001,E,1,08,0.9,100.0,M,47.0,M,,");
  log += sentence("GPVTG,74.0,T,,M,12.345,N,22.86,K,A");
  const std::vector<MotionFix> fixes = readMotion(log);
  ASSERT_EQ(fixes.size(), 2u);
  EXPECT_NEAR(fixes[0].positionResolutionM, 0.01852, 1e-12);            // 0.00001 minute
  EXPECT_NEAR(fixes[0].speedResolutionMps, 0.1 * 1852.0 / 3600.0, 1e-12);  // 0.1 kn
  EXPECT_NEAR(fixes[1].positionResolutionM, 0.0001852, 1e-12);
  EXPECT_NEAR(fixes[1].speedResolutionMps, 0.01 / 3.6, 1e-12);  // the km/h field's 0.01
}

TEST(SlipNmea, CountsDaysOnPastMidnight) {
  std::string log;
  log += sentence("GPRMC,235959.90,A,4800.0000,N,01100.0000,E,0.000,,130626,,,A");
  log += sentence("GPRMC,000000.00,A,4800.0000,N,01100.0000,E,0.000,,140626,,,A");
  const std::vector<MotionFix> fixes = readMotion(log);
  ASSERT_EQ(fixes.size(), 2u);
  EXPECT_NEAR(fixes[1].timeMs - fixes[0].timeMs, 100.0, 1e-6);
}

}  // namespace
}  // namespace corvantis::slip

namespace corvantis::slip {
namespace {

TEST(SlipNmea, DamagedBytesReadSafely) {
  // Cut sentences, a sentence that is all commas, binary noise with "$" in
  // it and a field far longer than any receiver's: nothing read past the
  // bytes (the sanitizer build checks), nothing taken from them.
  std::string log = "$GPGGA,1200";
  log += "$GPRMC,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n";
  log += std::string("\xB5\x62$\x01\x02$GP\0RMC,*", 14);
  log += "$GPGGA," + std::string(5000, '9') + ",4800.0,N,01100.0,E,1,08,0.9,1.0,M,,M,,*";
  log += "$GPVTG,1,T,,M,1,N,1,K,A*";
  log += "$";
  EXPECT_TRUE(readMotion(log).empty());
  unsigned seed = 12345;
  std::string noise;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    const char pick = "$,.*0123456789AGNPRMCVTSWE\r\n"[(seed >> 16) % 28];
    noise += pick;
  }
  for (const MotionFix& fix : readMotion(noise)) {
    EXPECT_TRUE(fix.hasPosition || fix.hasSpeed);
    EXPECT_TRUE(std::isfinite(fix.timeMs));
  }
}

}  // namespace
}  // namespace corvantis::slip
