#include "tools/analyze/log_replay.h"

#include <gtest/gtest.h>

#include "tests/support/nmea_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/scripted_message_boxes.h"

namespace corvantis::analyze {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::string gga(const std::string& time, const std::string& latitude = "4807.038", const std::string& quality = "1") {
  return testing::nmeaSentence("GPGGA," + time + "," + latitude + ",N,01131.000,E," + quality +
                               ",08,0.9,545.4,M,46.9,M,,");
}
const std::string kRmc = "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

struct ReplayRun {
  std::unique_ptr<Replay> replay;
  testing::ScriptedMessageBoxes boxes;
  std::unique_ptr<GpsInput> gps;
  std::vector<std::pair<long, uint32_t>> fixes;  // tick, fix time

  explicit ReplayRun(const std::string& log) : replay(std::make_unique<Replay>(bytesOf(log))) {
    gps = std::make_unique<GpsInput>(replay->port(), boxes);
    gps->afterTick = [this](bool newFix) {
      if (newFix) fixes.emplace_back(replay->ticks(), gps->history.newestFixTime());
    };
    replay->run(*gps);
  }
};

std::vector<std::vector<std::string>> csvRows(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(csv);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    std::string cell;
    while (std::getline(fields, cell, ',')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

TEST(Replay, GroupsAreReleasedAtTheirGgaTime) {
  // Noise before the first GGA goes with it; the fix at 12:00:01 is decoded
  // when the next group's "$" is released, ten ticks after the first.
  ReplayRun run("junk\r\n" + gga("120000") + kRmc + gga("120001", "4807.138") + kRmc + gga("120002", "4807.238"));
  ASSERT_EQ(run.fixes.size(), 3u);
  EXPECT_EQ(run.fixes[0], std::make_pair(0L, 43200000u));   // cut at the RMC's "$", first tick
  EXPECT_EQ(run.fixes[1], std::make_pair(10L, 43201000u));  // released one second later
  EXPECT_EQ(run.fixes[2], std::make_pair(20L, 43202000u));  // decoded by the closing "$"
  EXPECT_EQ(run.replay->ticks(), 21);  // the replay ends with the tick that read the last byte
}

TEST(Replay, GgaWithoutTimeOpensNoGroup) {
  ReplayPort port(bytesOf(gga("120000") + "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n" + gga("120001")));
  EXPECT_EQ(port.groupCount(), 2u);
  EXPECT_EQ(port.startMs(), 43200000u);
}

TEST(Replay, ALogWithoutGpggaGivesNoFix) {
  ReplayRun run("$GNGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n" + kRmc);
  EXPECT_TRUE(run.fixes.empty());
  EXPECT_TRUE(run.replay->replayPort().exhausted());
}

TEST(Replay, ALongSilenceRaisesTheErrorAndTheReplayReopens) {
  // 30 s without a sentence: the device error comes after 100 silent ticks,
  // the replay reopens as a user would, and the later fixes still count.
  ReplayRun run(gga("120000") + kRmc + gga("120030", "4807.138") + kRmc + gga("120031", "4807.238"));
  EXPECT_GE(run.replay->reopens(), 2);
  ASSERT_EQ(run.fixes.size(), 3u);
  EXPECT_EQ(run.fixes[1].second, 43230000u);
  EXPECT_EQ(run.fixes[2].second, 43231000u);
  EXPECT_TRUE(run.boxes.shown.empty());
}

TEST(Replay, MidnightDoesNotStallTheLog) {
  ReplayRun run(gga("235959") + gga("000000", "4807.138") + gga("000001", "4807.238"));
  ASSERT_EQ(run.fixes.size(), 3u);
  EXPECT_EQ(run.fixes[1].second, 86400000u);
  EXPECT_EQ(run.fixes[2].second, 86401000u);
  EXPECT_LE(run.replay->ticks(), 25);
}

TEST(FixesCsv, OneLinePerRecordedFix) {
  std::string csv;
  const long fixes = writeFixesCsv(bytesOf(gga("123519") + gga("123519.05", "4807.138") + gga("123520", "4807.138") +
                                           gga("123521", "4807.238", "0")),
                                   csv);
  EXPECT_EQ(fixes, 2);  // 50 ms after the first: refused; quality 0: no fix
  const auto rows = csvRows(csv);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"time_ms", "latitude", "longitude", "altitude", "speed_mph"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"45319000", "48.117300000", "11.516666667", "545.400024414", "0.000000000"}));
  EXPECT_EQ(rows[2][0], "45320000");
  EXPECT_EQ(rows[2][1], "48.118966667");
}

// Real receiver logs (skipped when the shared data is not there).
std::filesystem::path realLog(const char* name) {
  return std::filesystem::path(CORV_SHARED_DATA_DIR) / "nmea-real" / name;
}

TEST(FixesCsv, RealLogs) {
  if (!std::filesystem::exists(realLog(""))) GTEST_SKIP() << "no real NMEA logs in " << realLog("");
  // Fix counts: every $GPGGA with a fix, less those under 100 ms after (or
  // stepping back from) the newest recorded one. GN/IN-only logs give none.
  // With --any-talker every talker's GGA counts; an epoch that two talkers
  // report (sirfstarv: $GPGGA and $GLGGA) is still one fix.
  const struct {
    const char* log;
    long fixes;
    long anyTalkerFixes;
  } cases[] = {
      {"aerorust/nmea1.log", 993, 993},
      {"genivi/20100411_Geko_Regensburg.txt", 774, 774},
      {"genivi/20100403_Z205_Switzerland_short.txt", 56, 56},
      {"genivi/munich-gps.nmea", 1845, 1845},  // 2 fixes of a step back refused
      {"gpsbabel/nmea+ms.txt", 20, 20},        // out-of-order milliseconds refused
      {"gpsd/bt451.log", 8, 8},                // the second session steps back in time
      {"gpsd/rst39.log", 40, 40},
      {"gpsd/nmea-rtk.log", 72, 122},  // the talker switches from GP to GN
      {"gpsd/haicom-305N.log", 68, 68},
      {"gpsd/bundg_zeus_9.log", 138, 138},
      {"gpsd/telit-he910.log", 186, 186},  // one fix 302 ms before the newest
      {"gpsd/motorola-t805.log", 16, 16},
      {"gpsd/hemi.log", 21, 21},
      {"gpsd/ac12_binary.log", 5, 5},
      {"gpsd/sirfstarv-nmea.log", 59, 59},
      {"gpsd/ch-4711.log", 0, 7},
      {"gpsd/humminbird-M37.log", 0, 7},  // the clock's step back is taken after 3 s
      {"gpsd/quectel-l76k-nmea.log", 0, 150},
      {"gpsd/quectel-l76k-dual.log", 0, 130},
      {"hazer/bu353w10-3.nmea", 0, 60},
  };

  for (const auto& c : cases) {
    std::vector<uint8_t> log;
    std::string error;
    ASSERT_TRUE(readLogFile(realLog(c.log).string(), log, error)) << error;
    std::string anyTalkerCsv;
    EXPECT_EQ(writeFixesCsv(log, anyTalkerCsv, Talkers::Any), c.anyTalkerFixes) << c.log << " any talker";
    std::string csv;
    EXPECT_EQ(writeFixesCsv(log, csv), c.fixes) << c.log;
    const auto rows = csvRows(csv);
    ASSERT_EQ(static_cast<long>(rows.size()), c.fixes + 1) << c.log;
    unsigned long previousTime = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), 5u) << c.log << " row " << i;
      const unsigned long timeMs = std::stoul(rows[i][0]);
      if (i > 1) {
        EXPECT_GE(timeMs, previousTime + 100) << c.log << " row " << i;
      }
      previousTime = timeMs;
      const double latitude = std::stod(rows[i][1]);
      const double longitude = std::stod(rows[i][2]);
      const double speed = std::stod(rows[i][4]);
      EXPECT_LE(std::abs(latitude), 90.0) << c.log;
      EXPECT_LE(std::abs(longitude), 180.0) << c.log;
      EXPECT_TRUE(speed == 0.0 || speed >= 2.0) << c.log << " row " << i;
    }
  }
}

// The gpsd expected output gives each fix's position as gpsd decoded it.
TEST(FixesCsv, PositionsAgreeWithAnIndependentDecoder) {
  const auto chk = realLog("gpsd/telit-he910.log.chk");
  if (!std::filesystem::exists(chk)) GTEST_SKIP() << "no " << chk;
  std::ifstream in(chk);
  std::string line;
  std::vector<std::pair<double, double>> expected;  // lat, lon of each TPV after a GPGGA with a fix
  bool afterFix = false;
  auto number = [](const std::string& text, const std::string& key) {
    const auto at = text.find("\"" + key + "\":");
    return at == std::string::npos ? std::nan("") : std::stod(text.substr(at + key.size() + 3));
  };
  while (std::getline(in, line)) {
    if (line.rfind("$GPGGA", 0) == 0) afterFix = line.find(",1,") != std::string::npos;
    if (afterFix && line.find("\"class\":\"TPV\"") != std::string::npos && line.find("\"lat\":") != std::string::npos) {
      expected.emplace_back(number(line, "lat"), number(line, "lon"));
      afterFix = false;
    }
  }
  std::vector<uint8_t> log;
  std::string error;
  ASSERT_TRUE(readLogFile(realLog("gpsd/telit-he910.log").string(), log, error)) << error;
  std::string csv;
  writeFixesCsv(log, csv);
  const auto rows = csvRows(csv);
  ASSERT_GT(rows.size(), 100u);
  // Each decoded position is one of gpsd's, to 1e-8 degrees.
  std::size_t matched = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const double latitude = std::stod(rows[i][1]);
    const double longitude = std::stod(rows[i][2]);
    for (const auto& [lat, lon] : expected) {
      if (std::abs(lat - latitude) < 1e-8 && std::abs(lon - longitude) < 1e-8) {
        ++matched;
        break;
      }
    }
  }
  EXPECT_EQ(matched, rows.size() - 1);
}

TEST(AnalyzeProgram, MissingLogIsExitStatus2) {
  const std::string program = CORV_ANALYZE_PROGRAM;
  const auto status = [&](const std::string& arguments) {
    const int raw = std::system((program + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(status("--fixes /nonexistent/log.nmea"), 2);
  EXPECT_EQ(status("--fixes /"), 2);  // a folder is no log
  EXPECT_EQ(status("--fixes"), 2);
  EXPECT_EQ(status("/dev/null"), 2);       // no mode
  EXPECT_EQ(status("--bogus /dev/null"), 2);
  EXPECT_EQ(status("--fixes /dev/null"), 0);
  EXPECT_EQ(status("--help"), 0);
}

}  // namespace
}  // namespace corvantis::analyze

namespace corvantis::analyze {
namespace {

TEST(AnalyzeProgram, ALogOfAnotherTalkerOnlyPointsToAnyTalker) {
  const auto folder = std::filesystem::temp_directory_path();
  const std::string log = (folder / ("corvantis-gn-" + std::to_string(::getpid()) + ".nmea")).string();
  const std::string err = log + ".err";
  const std::string out = log + ".out";
  std::ofstream(log) << testing::nmeaSentence("GNGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                            testing::nmeaSentence("GNGGA,120001,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  const auto run = [&](const std::string& options) {
    const std::string command = std::string(CORV_ANALYZE_PROGRAM) + " " + options + " --fixes " + log;
    std::system((command + " >" + out + " 2>" + err).c_str());
    std::ifstream e(err), o(out);
    const std::string errText{std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>()};
    const std::string outText{std::istreambuf_iterator<char>(o), std::istreambuf_iterator<char>()};
    return errText + "|" + outText;
  };
  const std::string plain = run("");
  EXPECT_NE(plain.find("the log holds $GNGGA, not $GPGGA: run it with --any-talker"), std::string::npos) << plain;
  const std::string any = run("--any-talker");
  EXPECT_EQ(any.find("--any-talker"), std::string::npos) << any;
  EXPECT_EQ(std::count(any.begin(), any.end(), '\n'), 3);  // header and two fixes
  std::filesystem::remove(log);
  std::filesystem::remove(err);
  std::filesystem::remove(out);
}

}  // namespace
}  // namespace corvantis::analyze
