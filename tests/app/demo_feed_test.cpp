// The demo receiver of the corvantis program: a log cut into groups at its
// fix times, fix times moved on for each round, and the feed through a real
// pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "gps/nmea_decoder.h"
#include "platform/posix/files.h"
#include "platform/posix/pseudo_terminal.h"
#include "tests/support/address_sanitizer.h"
#include "tools/corvantis/demo_drive.h"
#include "tools/corvantis/nmea_replay.h"
#include "tools/corvantis/receiver_feeder.h"

namespace corvantis::demo {
namespace {

std::string gga(const std::string& time) { return "$GPGGA," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,"; }

TEST(DriveFromLog, GroupsFollowTheFixTimes) {
  const std::string log = "noise$GPRMC,x\r\n" + gga("235959.5") + "\r\n$GPGSA,a\r\n" + gga("") + "\r\n" +
                          gga("000000.5") + "\r\n" + gga("000000.4") + "\r\n$GPVTG,b";
  const Drive drive = driveFromLog(log);
  ASSERT_EQ(drive.parts.size(), 3u);
  // Bytes before the first timed fix go with it; an untimed fix joins the group before.
  EXPECT_EQ(drive.parts[0].atMs, 0u);
  EXPECT_EQ(drive.parts[0].text, "noise$GPRMC,x\r\n" + gga("235959.5") + "\r\n$GPGSA,a\r\n" + gga("") + "\r\n");
  EXPECT_EQ(drive.parts[1].atMs, 1000u);  // past midnight: the next day
  EXPECT_EQ(drive.parts[2].atMs, 1000u);  // a step back: released at once
  EXPECT_EQ(drive.parts[2].text, gga("000000.4") + "\r\n$GPVTG,b");
  EXPECT_EQ(drive.roundMs, 2000u);  // span plus the shortest gap, whole seconds
  EXPECT_TRUE(driveFromLog("$GPRMC,1\r\n$GPGGA,,,\r\n").parts.empty());
}

TEST(ShiftFixTimes, MovesWholeSecondsKeepsTheFractionAndMendsTheChecksum) {
  struct Case {
    std::string in;
    uint32_t shiftMs;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"$GPGGA,123519.25,4807.038,N*00\r\n", 61000, "$GPGGA,123620.25,4807.038,N*"},
      {"$GPGGA,235959,1*7F\r\n", 2000, "$GPGGA,000001,1*"},   // across midnight
      {"$GPGGA,101500.000,2", 86400000, "$GPGGA,101500.000,2"},  // a whole day
      {"$GPRMC,101500.000,A*11\r\n", 5000, "$GPRMC,101500.000,A*11\r\n"},  // only fixes move
      {"$GPGGA,,,*44\r\n", 5000, "$GPGGA,,,*44\r\n"},  // no time to move
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const std::string shifted = shiftFixTimes(c.in, c.shiftMs);
    ASSERT_GE(shifted.size(), c.out.size());
    EXPECT_EQ(shifted.substr(0, c.out.size()), c.out);
    const size_t star = shifted.find('*');
    if (star != std::string::npos && c.in.rfind("$GPGGA,", 0) == 0 && c.in.find(",,,") == std::string::npos) {
      unsigned sum = 0;
      for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(shifted[i]);
      EXPECT_EQ(std::stoul(shifted.substr(star + 1, 2), nullptr, 16), sum);
    }
  }
}

TEST(ParseTimeOfDay, AcceptsReceiverTimesAndRefusesTheRest) {
  uint32_t ms = 0;
  EXPECT_TRUE(parseTimeOfDay("123519", ms));
  EXPECT_EQ(ms, 45319000u);
  EXPECT_TRUE(parseTimeOfDay("123519.1234", ms));
  EXPECT_EQ(ms, 45319123u);
  for (const char* bad : {"", "12351", "2400000", "126000", "1235a9", "123519,5"}) {
    EXPECT_FALSE(parseTimeOfDay(bad, ms)) << bad;
  }
}

// Reads what arrives at the terminal until `want` bytes came or 5 s passed.
std::string readFrom(int fd, size_t want) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) got.append(buffer, static_cast<size_t>(n));
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return got;
}

TEST(ReceiverFeeder, PlaysRoundsIntoThePseudoTerminalWithTheTimesMovedOn) {
  platform::PseudoTerminal terminal;
  ASSERT_TRUE(terminal.open()) << terminal.error();
  const int fd = open(terminal.devicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  Drive drive;
  drive.parts = {{0, "$GPGGA,100000.0,a\r\n"}, {20, "$GPGGA,100000.5,b\r\n"}};
  drive.roundMs = 1000;
  ReceiverFeeder feeder(terminal, drive, true);
  feeder.start();
  const std::string expected =
      "$GPGGA,100000.0,a\r\n$GPGGA,100000.5,b\r\n$GPGGA,100001.0,a\r\n$GPGGA,100001.5,b\r\n";
  const std::string got = readFrom(fd, expected.size());
  feeder.stop();
  close(fd);
  EXPECT_EQ(got.substr(0, expected.size()), expected);
}

}  // namespace
}  // namespace corvantis::demo

namespace corvantis::demo {
namespace {

std::string fix(const char* time, const char* latitude) {
  std::string body = std::string("GPGGA,") + time + "," + latitude + ",N,00100.0000,W,1,08,1.0,100.0,M,47.0,M,,";
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

// Decodes every sentence of stream as the pump does; answers the fastest
// speed (mph) the fix history worked out, and leaves the last in current.
float fastestSpeedIn(const std::string& stream, CurrentFix& current) {
  FixHistory history;
  float fastest = 0.0f;
  for (size_t at = stream.find('$'); at != std::string::npos;) {
    const size_t next = stream.find('$', at + 1);
    const std::string sentence = stream.substr(at, next == std::string::npos ? std::string::npos : next - at + 1);
    if (decodeSentence(sentence.c_str(), current, history)) fastest = std::max(fastest, current.speed);
    at = next;
  }
  return fastest;
}

// The same over round, round again (times moved on) and the first part of a
// third round.
float fastestSpeedOverRounds(const Drive& drive) {
  std::string stream;
  for (uint32_t round = 0; round < 2; ++round) {
    for (const TimedText& part : drive.parts) stream += shiftFixTimes(part.text, round * drive.roundMs);
  }
  stream += shiftFixTimes(drive.parts.front().text, 2 * drive.roundMs) + "$";
  CurrentFix current;
  return fastestSpeedIn(stream, current);
}

TEST(CloseTheLoop, ADriveEndingAwayFromItsStartDrivesBackGently) {
  // Standing at the start, then a kilometre north in a second: the jump a
  // plain repetition would make.
  std::string log;
  for (int i = 0; i < 10; ++i) log += fix(("1200" + std::to_string(10 + i) + ".00").c_str(), "5130.0000");
  log += fix("120020.00", "5130.5400");
  Drive drive = driveFromLog(log);
  ASSERT_EQ(drive.parts.size(), 11u);
  EXPECT_GT(fastestSpeedOverRounds(drive), 1000.0f);  // without a way back

  const double metres = closeTheLoop(drive);
  EXPECT_NEAR(metres, 1000.0, 5.0);
  EXPECT_GT(drive.parts.size(), 11u);
  EXPECT_EQ(drive.roundMs % 1000, 0u);
  EXPECT_GT(drive.roundMs, drive.parts.back().atMs);
  // Only the log's own kilometre in a second is fast; from its arrival on,
  // the way back and the step into the next round stay at the return speed.
  const float returnMph = static_cast<float>(kReturnSpeedMps * 3.6 * 0.621371192);
  std::string stream;
  for (size_t i = 10; i < drive.parts.size(); ++i) stream += drive.parts[i].text;
  stream += shiftFixTimes(drive.parts.front().text, drive.roundMs) + "$";
  CurrentFix current;
  const float fastest = fastestSpeedIn(stream, current);
  EXPECT_GT(fastest, 0.5f * returnMph);
  EXPECT_LE(fastest, returnMph * 1.02f);
  EXPECT_EQ(current.speed, 0.0f);  // at rest where the next round starts
}

TEST(CloseTheLoop, ADriveEndingWhereItStartedIsLeftAlone) {
  std::string log = fix("120000.00", "5130.0000") + fix("120001.00", "5130.0010") + fix("120002.00", "5130.0001");
  Drive drive = driveFromLog(log);
  const Drive before = drive;
  EXPECT_EQ(closeTheLoop(drive), 0.0);
  EXPECT_EQ(drive.parts.size(), before.parts.size());
  EXPECT_EQ(drive.roundMs, before.roundMs);
  EXPECT_LT(fastestSpeedOverRounds(drive), 10.0f);
}

}  // namespace
}  // namespace corvantis::demo

namespace corvantis::demo {
namespace {

// --nmea with --any-talker: a log of a receiver that sends $GNGGA only is
// paced by its own fixes and moves on round after round; without the option
// it holds no fix sentence at all.
TEST(DriveFromLog, AnyTalkerPacesByEveryTalkersGga) {
  const auto gn = [](const std::string& time) {
    return "$GNGGA," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,*00\r\n";
  };
  const std::string log = gn("120000") + "$GNRMC,x\r\n" + gn("120001") + gn("120002");
  EXPECT_TRUE(driveFromLog(log).parts.empty());
  const Drive drive = driveFromLog(log, true);
  ASSERT_EQ(drive.parts.size(), 3u);
  EXPECT_EQ(drive.parts[1].atMs, 1000u);
  EXPECT_EQ(drive.parts[2].atMs, 2000u);
  EXPECT_TRUE(drive.anyTalker);
  EXPECT_EQ(shiftFixTimes(gn("120000"), 5000, true).substr(0, 14), "$GNGGA,120005,");
  EXPECT_EQ(shiftFixTimes(gn("120000"), 5000, false), gn("120000"));
  EXPECT_EQ(shiftFixTimes("$GNRMC,120000,A\r\n", 5000, true), "$GNRMC,120000,A\r\n");
}

// A demo options file far larger than its counts allow is left for the
// program to keep aside: the circuit seeding judges it by its size and
// never reads it into memory.
TEST(SeedDemoCircuit, LeavesAFileFarLargerThanItsCountsUnread) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("corv-seed-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "demo-options.bin").string();
  {
    std::ofstream out(path, std::ios::binary);
    const uint8_t head[52] = {48, 0, 0, 0, 5};  // the settings size, port 5, no sets, no tracks
    out.write(reinterpret_cast<const char*>(head), sizeof head);
  }
  std::filesystem::resize_file(path, uint64_t{5} << 30);  // sparse: no room taken
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
#if !CORV_ADDRESS_SANITIZER
    const rlimit oneGigabyte{uint64_t{1} << 30, uint64_t{1} << 30};
    ::setrlimit(RLIMIT_AS, &oneGigabyte);
#endif
    platform::PosixFiles files;
    std::string error;
    ::_exit(seedDemoCircuit(files, path, error) && error.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(std::filesystem::file_size(path), uint64_t{5} << 30);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvantis::demo
