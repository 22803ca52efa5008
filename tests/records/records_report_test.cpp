#include "tools/records/records_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"
#include "tests/store/store_fixtures.h"
#include "tests/support/address_sanitizer.h"
#include "tests/support/standing_start_trace.h"

namespace corvantis::records {
namespace {

constexpr uint32_t kDec5At1407 = 1796479620;  // 2026-12-05 14:07:00

// Splits one CSV line into fields, reading RFC 4180 quotes.
std::vector<std::string> csvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A store as the program leaves it: a 0-60 mph set of three runs (two tie
// for the best), a quarter mile of one run, and a lap track whose name
// needs quoting, with two laps.
struct Stores {
  std::unique_ptr<FixHistory> history = std::make_unique<FixHistory>();
  RunRecords records;
  LapDefinitions laps;
  Stores() {
    testing::fillHistory(*history, 30);
    records.addRun(accelerationKey(0.0f, 60.0f), 5234, kDec5At1407, *history);
    records.addRun(accelerationKey(0.0f, 60.0f), 6100, kDec5At1407 + 60, *history);
    records.addRun(accelerationKey(0.0f, 60.0f), 5234, kDec5At1407 + 120, *history);
    records.addRun(distanceKey(402.336), 63005, kDec5At1407, *history);
    const int track = laps.createDefinition(*history, 0, nullptr, "Ring, \"north\"");
    laps.addLapTime(track, 83456, history->samples[5].time, kDec5At1407, *history);
    laps.addLapTime(track, 81000, history->samples[5].time, kDec5At1407 + 90, *history);
  }
};

TEST(RecordTexts, AsTheRecordsScreenShowsThem) {
  const struct {
    uint32_t key;
    int units;
    const char* text;
  } cases[] = {
      {accelerationKey(0, 60).value(), 0, "Acc Run: 0..60 mph"},
      {accelerationKey(0, 60).value(), 1, "Acc Run: 0..96 kph"},
      {accelerationKey(30, 62).value(), 1, "Acc Run: 48..99 kph"},
      {distanceKey(402.336).value(), 0, "Dist Run: 440 yards (1/4 mile)"},
      {distanceKey(402.336).value(), 1, "Dist Run: 402 meters"},
      {distanceKey(201.168).value(), 0, "Dist Run: 220 yards (1/8 mile)"},
      {distanceKey(400.0).value(), 0, "Dist Run: 437 yards"},
      {distanceKey(800.0).value(), 0, "Dist Run: 874 yards"},
  };
  for (const auto& c : cases) EXPECT_EQ(categoryText(c.key, c.units), c.text) << c.key;

  RunRecord run;
  run.timeMs = 5234;
  run.stamp = kDec5At1407;
  EXPECT_EQ(timeRowText(run, true), "5.234s on 05/12/26 at 14:07(Best)");
  EXPECT_EQ(timeRowText(run, false), "5.234s on 05/12/26 at 14:07");
  EXPECT_EQ(averageRowText(0), ".000s Average");
  EXPECT_EQ(averageRowText(63005), "1m 03.005s Average");
}

TEST(RecordListing, NumbersEveryTimeAndMarksOnlyTheFirstBest) {
  Stores s;
  const auto categories = listRecords(s.records, s.laps, 0);
  ASSERT_EQ(categories.size(), 3u);
  EXPECT_EQ(categories[0].text, "Acc Run: 0..60 mph");
  ASSERT_EQ(categories[0].times.size(), 3u);
  EXPECT_TRUE(categories[0].times[0].best);
  EXPECT_FALSE(categories[0].times[2].best);  // ties the best, listed later
  EXPECT_EQ(categories[0].averageText, "5.522s Average");
  EXPECT_EQ(categories[2].text, "Lap Times: Ring, \"north\"");
  EXPECT_EQ(categories[2].times[1].text, "1m 21.000s on 05/12/26 at 14:08(Best)");
  EXPECT_EQ(categories[2].times[1].number, 6);

  const std::string plain = plainReport(categories);
  EXPECT_NE(plain.find("Acc Run: 0..60 mph\n   1  5.234s on 05/12/26 at 14:07(Best)\n"), std::string::npos) << plain;
  EXPECT_NE(plain.find("   3  5.234s on 05/12/26 at 14:09\n      5.522s Average\n"), std::string::npos) << plain;
  EXPECT_NE(plain.find("Dist Run: 440 yards (1/4 mile)\n   4  1m 03.005s on 05/12/26 at 14:07(Best)\n"),
            std::string::npos);
}

TEST(RecordListing, CsvAndJsonCarryEveryTimeAndSurviveAwkwardNames) {
  Stores s;
  const auto categories = listRecords(s.records, s.laps, 0);
  const auto csv = lines(csvReport(categories));
  ASSERT_EQ(csv.size(), 7u);  // header and six times
  const auto header = csvFields(csv[0]);
  for (size_t i = 1; i < csv.size(); ++i) ASSERT_EQ(csvFields(csv[i]).size(), header.size()) << csv[i];
  const auto lap = csvFields(csv[6]);
  EXPECT_EQ(lap[0], "6");
  EXPECT_EQ(lap[1], "lap");
  EXPECT_EQ(lap[2], "Lap Times: Ring, \"north\"");
  EXPECT_EQ(lap[4], "81000");
  EXPECT_EQ(lap[6], "2026-12-05");
  EXPECT_EQ(lap[7], "14:08");
  EXPECT_EQ(lap[8], "1");

  const auto json = lines(jsonReport(categories));
  ASSERT_EQ(json.size(), 6u);
  EXPECT_EQ(json[0].rfind("{\"record\":1,\"kind\":\"accel\",\"definition\":\"Acc Run: 0..60 mph\",", 0), 0u) << json[0];
  EXPECT_NE(json[5].find("\"lap_name\":\"Ring, \\\"north\\\"\""), std::string::npos) << json[5];
  EXPECT_NE(json[3].find("\"kind\":\"distance\""), std::string::npos);
  EXPECT_EQ(jsonString("a\nb\\\x01"), "\"a\\u000ab\\\\\\u0001\"");
}

TEST(RecordTraces, TimeFromTheStartSpeedAndDistanceInTheChosenUnits) {
  Stores s;
  const auto categories = listRecords(s.records, s.laps, 0);
  const Category* category = nullptr;
  const ListedTime* first = findTime(categories, 1, &category);
  ASSERT_NE(first, nullptr);
  const auto imperial = lines(traceCsvLines(*category, *first, 0));
  ASSERT_EQ(imperial.size(), 30u);
  const auto last = csvFields(imperial.back());
  EXPECT_EQ(last[0], "1");
  EXPECT_EQ(last[1], "2.900");  // 29 samples of 100 ms
  EXPECT_EQ(last[2], "43.500");  // 1.5 mph apart
  const double yards = std::stod(last[3]);
  const auto metric = csvFields(lines(traceCsvLines(*category, *first, 1)).back());
  EXPECT_EQ(metric[2], "70.006");  // 43.5 mph in kph
  EXPECT_NEAR(std::stod(metric[3]) * 1.0936133, yards, 0.002);
  // A lap counts from the instant it started: five samples before it.
  const ListedTime* lap = findTime(categories, 5, &category);
  ASSERT_TRUE(category->lap);
  EXPECT_EQ(csvFields(lines(traceCsvLines(*category, *lap, 0)).front())[1], "-0.500");
  EXPECT_EQ(findTime(categories, 7, &category), nullptr);
  EXPECT_EQ(traceCsvHeader(0), "record,time_s,speed_mph,distance_yd\n");
}

// A name comes from the file: its control characters are shown, never sent
// to the terminal to act there.
TEST(RecordListing, ControlCharactersInNamesArePrintedEscaped) {
  Stores s;
  s.laps.at(0).name = "Ring\x1b[2J\a\x7f\xc2\x9b" "31m \xc3\xbc";
  const std::string plain = plainReport(listRecords(s.records, s.laps, 0));
  EXPECT_NE(plain.find("Lap Times: Ring\\x1b[2J\\x07\\x7f\\u009b31m \xc3\xbc\n"), std::string::npos) << plain;
  for (const char c : plain) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\n') << static_cast<int>(byte);
    EXPECT_NE(byte, 0x7F);
  }
}

// The program itself, on files written by the program's own save.
class RecordsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("corvantis-records-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "options.bin").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void save(const Stores& s) {
    platform::PosixFiles files;
    Settings settings;
    loadSettingsDefaults(settings);
    ASSERT_TRUE(saveOptions(files, path_, settings, s.records, s.laps).ok);
  }
  // Exit status; output and messages into out and err.
  int run(const std::string& arguments) {
    const std::string outPath = (folder_ / "out.txt").string();
    const std::string errPath = (folder_ / "err.txt").string();
    const int raw = std::system((std::string(CORV_RECORDS_PROGRAM) + " " + arguments + " >" + outPath + " 2>" +
                                 errPath).c_str());
    out = read(outPath);
    err = read(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path folder_;
  std::string path_;
  std::string out, err;
};

TEST_F(RecordsProgram, ListsTracesAndLeavesTheFileAsItWas) {
  save(Stores());
  const std::string before = read(path_);
  EXPECT_EQ(run("--options " + path_), 0) << err;
  // 3 definitions, 6 times, 3 averages, and the lap track's theoretical
  // best: without split lines, its best lap.
  EXPECT_EQ(lines(out).size(), 13u);
  EXPECT_NE(out.find("      1m 21.000s Theoretical Best\n"), std::string::npos) << out;
  EXPECT_EQ(run("--options " + path_ + " --csv"), 0);
  EXPECT_EQ(lines(out).size(), 7u);
  EXPECT_EQ(run("--options " + path_ + " --json --metric"), 0);
  EXPECT_NE(out.find("Acc Run: 0..96 kph"), std::string::npos);
  EXPECT_EQ(run("--options " + path_ + " --trace 1 --trace 4"), 0);
  EXPECT_EQ(lines(out).size(), 61u);
  EXPECT_EQ(run("--options " + path_ + " --trace 7"), 2);
  EXPECT_NE(err.find("no stored time 7"), std::string::npos);
  EXPECT_EQ(read(path_), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(RecordsProgram, DamagedOrMissingFilesAreToldAndLeftAlone) {
  save(Stores());
  const std::string whole = read(path_);
  const struct {
    const char* what;
    std::string bytes;
  } damaged[] = {
      {"cut short", whole.substr(0, whole.size() - 5)},
      {"impossible set count", whole.substr(0, 20) + std::string("\xff\xff\xff\x7f", 4) + whole.substr(24)},
      {"settings only half there", whole.substr(0, 30)},
  };
  for (const auto& d : damaged) {
    { std::ofstream(path_, std::ios::binary | std::ios::trunc) << d.bytes; }
    EXPECT_EQ(run("--options " + path_ + " --csv"), 2) << d.what;
    EXPECT_NE(err.find("The options file " + path_ + " could not be read ("), std::string::npos) << d.what << err;
    EXPECT_TRUE(out.empty()) << d.what;
    EXPECT_EQ(read(path_), d.bytes) << d.what;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1) << d.what;
  }
  // Far larger than its counts allow: judged from its first bytes, never
  // read into memory (a sparse file: it takes no room on the disk).
  {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << whole.substr(0, 52);
    std::filesystem::resize_file(path_, uint64_t{5} << 30);
  }
#if CORV_ADDRESS_SANITIZER
  const std::string limit;
#else
  const std::string limit = "ulimit -v 1000000; ";  // 1 GB of address space
#endif
  const std::string tooLarge = limit + std::string(CORV_RECORDS_PROGRAM) + " --options " + path_;
  EXPECT_EQ(run("--options " + path_), 2);
  EXPECT_NE(err.find("could not be read (it is 5368709120 bytes, more than the"), std::string::npos) << err;
  const int raw = std::system((tooLarge + " >/dev/null 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << raw;
  std::filesystem::remove(path_);
  EXPECT_EQ(run("--options " + path_), 1);
  EXPECT_EQ(run("--options " + folder_.string()), 2);
  EXPECT_EQ(run("--json --csv"), 2);
  EXPECT_EQ(run("--trace x"), 2);
}

// While a program holds the file for its session, what it has saved is
// listed all the same, and the holder is named.
TEST_F(RecordsProgram, ListsAFileAnotherProgramHolds) {
  save(Stores());
  platform::FileLock held;
  ASSERT_EQ(held.acquire(path_, platform::FileLock::Kind::Exclusive, "corvantis", 0).status,
            platform::FileLock::Status::Held);
  EXPECT_EQ(run("--options " + path_), 0) << err;
  EXPECT_EQ(lines(out).size(), 13u);  // as listed unheld, the theoretical best too
  EXPECT_NE(err.find("held by corvantis (process " + std::to_string(::getpid()) + ")"), std::string::npos) << err;
}

TEST_F(RecordsProgram, TimeSlipOfAStoredTimeFromItsTrace) {
  Stores s;
  RunRecord& quarter = s.records.findRecordSet(distanceKey(402.336))->runs[0];
  quarter.trace = testing::standingQuarterMileTrace();
  quarter.traceCount = static_cast<int32_t>(quarter.trace.size());
  save(s);
  const std::string before = read(path_);
  // Listed: three 0-60 runs (1-3), the quarter mile (4), two laps (5, 6).
  EXPECT_EQ(run("--options " + path_ + " --timeslip 4"), 0) << err;
  EXPECT_EQ(out.rfind("Time slip, launch at 12:35:19.", 0), 0u) << out;
  EXPECT_NE(out.find("  1/4 mile      12."), std::string::npos) << out;
  EXPECT_NE(out.find("stored time 1m 03.005s, Dist Run: 440 yards (1/4 mile)"), std::string::npos) << out;
  EXPECT_NE(out.find("from the stored trace"), std::string::npos) << out;
  EXPECT_EQ(run("--options " + path_ + " --timeslip 4 --metric"), 0);
  EXPECT_NE(out.find(" km/h ± "), std::string::npos) << out;
  const struct {
    const char* arguments;
    int status;
    const char* message;
  } refused[] = {
      {" --timeslip 5", 1, "stored time 5 has no time slip: a lap time is not a standing start"},
      {" --timeslip 9", 2, "there is no stored time 9"},
      {" --timeslip 4 --json", 2, "--timeslip goes with none of"},
      {" --timeslip x", 2, "--timeslip needs N"},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(run("--options " + path_ + r.arguments), r.status) << r.arguments;
    EXPECT_NE(err.find(r.message), std::string::npos) << r.arguments << ": " << err;
  }
  EXPECT_EQ(read(path_), before);
}

}  // namespace
}  // namespace corvantis::records
