// corvantis-analyze's lap modes as a user runs them: the program itself
// over a simulated circuit log in a temporary folder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;  // standard output and error
};

class AnalyzeLapModes : public ::testing::Test {
 protected:
  void SetUp() override {
    // The process id keeps two test runs at once (two builds) out of each other's files.
    dir_ = fs::temp_directory_path() / ("corv-laps-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    sim::ReceiverOptions receiver;
    receiver.rateHz = 5;
    std::ofstream(path("laps.nmea"), std::ios::binary) << sim::renderLog(sim::simulate(sim::lapsScenario(), receiver));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static Outcome run(const std::string& arguments) {
    Outcome outcome;
    FILE* pipe = popen((std::string(CORV_ANALYZE_PROGRAM) + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.out.append(buffer, n);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }
  // The simulated out lap starts at 12:00:00; the first timed lap at 12:01:52.1.
  std::string define(const std::string& name, const std::string& from, const std::string& to) const {
    return "--options " + path("track.bin") + " --define-lap '" + name + "' --from " + from + " --to " + to +
           " --split 12:02:10 --split 12:02:40 " + path("laps.nmea");
  }

  fs::path dir_;
};

TEST_F(AnalyzeLapModes, DefinesATrackThenTimesItsLapsAsJson) {
  const Outcome made = run(define("Club Circuit", "12:01:52.2", "12:03:22"));
  ASSERT_EQ(made.status, 0) << made.out;
  const Outcome timed = run("--options " + path("track.bin") + " --lap 'Club Circuit' --json " + path("laps.nmea"));
  ASSERT_EQ(timed.status, 0) << timed.out;
  // Each lap against the fastest before it: the first has none.
  const std::regex lap(
      R"(\{"kind":"lap","time_ms":(\d+),"start_ms":\d+,"text":"1m 1\d\.\d{3}s","delta_ms":(null|-?\d+),)"
      R"("predicted_ms":(null|\[\d+,\d+\])\})");
  const std::regex split(R"(\{"kind":"split","line":[01],"time_ms":\d+,"text":"\d*\.\d{3}s","delta_ms":(null|-?\d+)\})");
  int laps = 0;
  std::istringstream lines(timed.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, lap)) {
      ++laps;
      EXPECT_NEAR(std::stod(m[1]), 79400.0, 200.0);
      EXPECT_EQ(m[2] == "null", laps == 1) << line;
      EXPECT_EQ(m[3] == "null", laps == 1) << line;
    } else {
      EXPECT_TRUE(std::regex_match(line, split)) << line;
    }
  }
  EXPECT_EQ(laps, 3);
  // The laps went into the file: a second pass finds them stored already.
  const std::string before = readFile(path("track.bin"));
  EXPECT_EQ(run("--options " + path("track.bin") + " --lap 'Club Circuit' " + path("laps.nmea")).status, 0);
  EXPECT_GT(readFile(path("track.bin")).size(), before.size());

  // Names are counted in characters: 31 accented letters fit, 32 do not.
  std::string accented;
  for (int i = 0; i < 31; ++i) accented += "\xc3\xa9";
  EXPECT_EQ(run(define(accented, "12:01:52.2", "12:03:22")).status, 0);
  EXPECT_EQ(run(define(accented + "\xc3\xa9", "12:01:52.2", "12:03:22")).status, 2);
}

TEST_F(AnalyzeLapModes, DeltaCsvAndTwoLapsSideBySide) {
  ASSERT_EQ(run(define("Club Circuit", "12:01:52.2", "12:03:22")).status, 0);
  const std::string lapArgs = "--options " + path("track.bin") + " --lap 'Club Circuit' ";
  const Outcome csv = run(lapArgs + "--delta-csv " + path("laps.nmea"));
  ASSERT_EQ(csv.status, 0) << csv.out;
  std::istringstream rows(csv.out);
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));
  EXPECT_EQ(line, "time_ms,lap,elapsed_ms,delta_ms,predicted_ms");
  // Laps 2 and 3 at 5 fixes a second, each about 80 s: a row a fix.
  const std::regex row(R"((\d+),([23]),(\d+),(-?\d+)?,(\d+)?)");
  int count = 0;
  std::map<std::string, long> referenceMs;  // predicted - delta: the reference's lap time, by lap
  for (; std::getline(rows, line); ++count) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, row)) << line;
    if (!m[4].matched) continue;
    // The same driver, lap after lap: within half a second of the best.
    EXPECT_LT(std::abs(std::stol(m[4])), 500) << line;
    const long reference = std::stol(m[5]) - std::stol(m[4]);
    if (referenceMs.count(m[2]) == 0) referenceMs[m[2]] = reference;
    EXPECT_LE(std::abs(reference - referenceMs[m[2]]), 1) << line;
  }
  EXPECT_EQ(referenceMs.size(), 2u);
  EXPECT_NEAR(count, 2 * 80 * 5, 20);

  const Outcome compare = run(lapArgs + "--compare 1,3 --csv " + path("laps.nmea"));
  ASSERT_EQ(compare.status, 0) << compare.out;
  std::istringstream side(compare.out);
  ASSERT_TRUE(std::getline(side, line));
  EXPECT_EQ(line, "distance_m,speed_a_mph,elapsed_a_ms,speed_b_mph,elapsed_b_ms,difference_ms");
  const std::regex point(R"((\d+\.\d),(\d+\.\d),(\d+),(\d+\.\d),(\d+),(-?\d+))");
  double lastDistance = -1.0;
  for (count = 0; std::getline(side, line); ++count) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, point)) << line;
    EXPECT_GE(std::stod(m[1]), lastDistance);
    lastDistance = std::stod(m[1]);
    EXPECT_EQ(std::stol(m[6]), std::stol(m[5]) - std::stol(m[3])) << line;
  }
  EXPECT_GT(count, 300);
  EXPECT_NEAR(lastDistance, 1924.0, 30.0);  // the circuit's length along the reference

  // Laps the log does not hold, and reference files that are none.
  EXPECT_EQ(run(lapArgs + "--compare 1,9 " + path("laps.nmea")).status, 2);
  EXPECT_EQ(run(lapArgs + "--compare 1 " + path("laps.nmea")).status, 2);
  std::ofstream(path("junk.lap"), std::ios::binary) << "CVRL and nothing a kept lap holds";
  const Outcome junk = run(lapArgs + "--reference " + path("junk.lap") + " --json " + path("laps.nmea"));
  EXPECT_EQ(junk.status, 2);
  EXPECT_NE(junk.out.find("no reference lap that can be read"), std::string::npos) << junk.out;
  EXPECT_EQ(run(lapArgs + "--reference " + path("none.lap") + " " + path("laps.nmea")).status, 2);
}

TEST_F(AnalyzeLapModes, FailuresLeaveTheFileAsItWas) {
  ASSERT_EQ(run(define("Club Circuit", "12:01:52.2", "12:03:22")).status, 0);
  const std::string kept = readFile(path("track.bin"));

  const Outcome unknown = run("--options " + path("track.bin") + " --lap 'Hill Loop' " + path("laps.nmea"));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.out.find("Club Circuit"), std::string::npos) << unknown.out;

  // Stopped before the drive comes back past its start: no loop to close.
  const Outcome open = run(define("Half Lap", "12:01:52.2", "12:02:30"));
  EXPECT_EQ(open.status, 1);
  EXPECT_NE(open.out.find("Unable to close the lap data. Define the lap again and make certain the lap loops."),
            std::string::npos)
      << open.out;

  EXPECT_EQ(run(define("Late", "12:01:52.2", "not-a-time")).status, 2);
  EXPECT_EQ(readFile(path("track.bin")), kept);

  // Bytes after the data: a damaged file, which neither mode may save over.
  std::ofstream(path("track.bin"), std::ios::binary | std::ios::app) << "junk";
  const std::string damaged = readFile(path("track.bin"));
  const Outcome lap = run("--options " + path("track.bin") + " --lap 'Club Circuit' " + path("laps.nmea"));
  EXPECT_EQ(lap.status, 2);
  EXPECT_NE(lap.out.find("is not a readable options file"), std::string::npos) << lap.out;
  EXPECT_EQ(run(define("Second", "12:01:52.2", "12:03:22")).status, 2);
  EXPECT_EQ(readFile(path("track.bin")), damaged);
}

}  // namespace
}  // namespace corvantis
