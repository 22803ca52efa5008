// corvantis-analyze's timing modes as a user runs them: the program itself
// over a simulated log written to a temporary folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "store/options_file.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
};

class AnalyzeTimingModes : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("corv-analyze-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    sim::ScenarioParams params;
    params.runs = 2;
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    writeFile(path("quarter.nmea"), sim::renderLog(sim::simulate(sim::quarterScenario(params), receiver)));
    // Standing only: nothing to time.
    params.runs = 1;
    params.distanceM = 20.0;
    params.overrunM = 0.0;
    writeFile(path("short.nmea"), sim::renderLog(sim::simulate(sim::quarterScenario(params), receiver)));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static void writeFile(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  Outcome run(const std::string& arguments) const {
    Outcome outcome;
    const std::string command = std::string(CORV_ANALYZE_PROGRAM) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.out.append(buffer, n);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      out.push_back(text.substr(start, end - start));
    }
    return out;
  }

 private:
  fs::path dir_;
};

TEST_F(AnalyzeTimingModes, PrintsEveryStoredRunAsTextOrJson) {
  const Outcome text = run("--accel 0-60 --distance 440 " + path("quarter.nmea"));
  EXPECT_EQ(text.status, 0);
  const auto textLines = lines(text.out);
  ASSERT_EQ(textLines.size(), 4u) << text.out;
  EXPECT_TRUE(std::regex_match(textLines[0], std::regex(R"(accel 0-60 mph: [0-9]\.[0-9]{3}s)"))) << textLines[0];
  EXPECT_TRUE(std::regex_match(textLines[3], std::regex(R"(distance 440 yards: 1[0-9]\.[0-9]{3}s)"))) << textLines[3];

  const Outcome json = run("--json --accel 0-60 --distance 440 " + path("quarter.nmea"));
  EXPECT_EQ(json.status, 0);
  const auto jsonLines = lines(json.out);
  ASSERT_EQ(jsonLines.size(), 4u);
  const std::regex accel(R"re(\{"kind":"accel","key":60,"time_ms":([0-9]+),"text":"([0-9.ms ]+)"\})re");
  const std::regex quarter(R"re(\{"kind":"distance","key":2173851140,"time_ms":([0-9]+),"text":"([0-9.ms ]+)"\})re");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(jsonLines[0], m, accel)) << jsonLines[0];
  EXPECT_EQ(m[2].str(), textLines[0].substr(textLines[0].rfind(' ') + 1)) << "same run, same text";
  ASSERT_TRUE(std::regex_match(jsonLines[2], m, quarter)) << jsonLines[2];

  // Metric: 0-100 kph is stored under 0..62 mph, 400 m under its own key.
  const Outcome metric = run("--json --metric --accel 0-100 --distance 400 " + path("quarter.nmea"));
  EXPECT_EQ(metric.status, 0);
  const auto metricLines = lines(metric.out);
  ASSERT_EQ(metricLines.size(), 4u);
  EXPECT_NE(metricLines[0].find(R"("key":62,)"), std::string::npos) << metricLines[0];
  EXPECT_NE(metricLines[2].find(R"("key":2173698048,)"), std::string::npos) << metricLines[2];  // 0x81900000
}

TEST_F(AnalyzeTimingModes, OptionsFileGathersTheRunsOfEveryAnalysis) {
  const std::string options = path("options.bin");
  EXPECT_EQ(run("--accel 0-60 --distance 440 --options " + options + " " + path("quarter.nmea")).status, 0);
  EXPECT_EQ(run("--metric --distance 440 --options " + options + " " + path("quarter.nmea")).status, 0);
  const std::string bytes = readFile(options);
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  ASSERT_TRUE(decodeOptions(image, settings, records, laps).ok());
  EXPECT_EQ(settings.units, 0) << "the file keeps its unit system";
  EXPECT_EQ(settings.distance, 440.0) << "the last distance typed, as on the device";
  const RecordSet* accel = records.findRecordSet(RecordKey{0, 60});
  const RecordSet* quarter = records.findRecordSet(distanceKey(402.336));
  const RecordSet* metres440 = records.findRecordSet(distanceKey(440.0));
  ASSERT_NE(accel, nullptr);
  ASSERT_NE(quarter, nullptr);
  ASSERT_NE(metres440, nullptr);
  EXPECT_EQ(accel->filledCount(), 2);
  EXPECT_EQ(quarter->filledCount(), 2);
  EXPECT_GT(accel->runs[0].traceCount, 30) << "stored with its trace";
  // Stamps follow the log's own date: 2026-06-13, a little after 12:00 UTC.
  EXPECT_GE(accel->runs[0].stamp, 1781352000u);
  EXPECT_LT(accel->runs[0].stamp, 1781352000u + 600u);
}

TEST_F(AnalyzeTimingModes, BadInputGetsAClearErrorAndLosesNothing) {
  const std::string damaged = path("damaged.bin");
  writeFile(damaged, "not an options file");
  // A file with runs whose settings size was zeroed: it reads as a 4-byte
  // file with everything else after its end.
  const std::string zeroed = path("zeroed.bin");
  ASSERT_EQ(run("--accel 0-60 --options " + zeroed + " " + path("quarter.nmea")).status, 0);
  std::string zeroedBytes = readFile(zeroed);
  ASSERT_GT(zeroedBytes.size(), 1000u);
  zeroedBytes.replace(0, 4, std::string(4, '\0'));
  writeFile(zeroed, zeroedBytes);
  const std::string fifo = path("fifo.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string arguments;
    int status;
  };
  const std::vector<Case> cases = {
      {"--accel 60-30 " + path("quarter.nmea"), 2},
      {"--accel 0-abc " + path("quarter.nmea"), 2},
      {"--accel 60 " + path("quarter.nmea"), 2},
      {"--distance 0 " + path("quarter.nmea"), 2},
      {"--metric --distance 40000 " + path("quarter.nmea"), 2},
      {"--accel 0-60 " + path("missing.nmea"), 2},
      {"--accel 0-60 --options " + damaged + " " + path("quarter.nmea"), 2},
      {"--accel 0-60 " + path("short.nmea"), 1},  // no 0-60 run in it
      {"--accel 0-60 --options " + zeroed + " " + path("quarter.nmea"), 2},
      {"--accel 0-60 --options " + fifo + " " + path("quarter.nmea"), 2},
      // A save that fails (no folder can be made there) has a status of its own.
      {"--accel 0-60 --options /proc/self/corv-no-folder/options.bin " + path("quarter.nmea"), 3},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments;
    if (c.status == 2) {
      EXPECT_EQ(outcome.out, "") << c.arguments;
    }
  }
  EXPECT_EQ(readFile(damaged), "not an options file") << "a damaged options file is left as it was";
  EXPECT_EQ(readFile(zeroed), zeroedBytes);
}

TEST(LogCalendarStart, ReadsTheFirstDatedRmc) {
  const std::string log =
      "$GPGGA,235959.00,4854.8996,N,00236.7800,E,1,09,1.1,96.2,M,47.0,M,,*53\r\n"
      "$GPRMC,235959.50,V,,,,,,,,,,N*00\r\n"
      "$GPRMC,235959.80,A,4854.8996,N,00236.7800,E,0.0,0.0,311299,,,A*00\r\n";
  const std::vector<uint8_t> bytes(log.begin(), log.end());
  uint32_t seconds = 0;
  uint32_t timeOfDayMs = 0;
  ASSERT_TRUE(analyze::logCalendarStart(bytes, seconds, timeOfDayMs));
  EXPECT_EQ(seconds, 946684799u);  // 1999-12-31 23:59:59 UTC
  EXPECT_EQ(timeOfDayMs, 86399000u);
  const std::string undated = "$GPGGA,120000.00,4854.8996,N,00236.7800,E,1,09,1.1,96.2,M,47.0,M,,*53\r\n";
  EXPECT_FALSE(analyze::logCalendarStart(std::vector<uint8_t>(undated.begin(), undated.end()), seconds, timeOfDayMs));
}

}  // namespace
}  // namespace corvantis
