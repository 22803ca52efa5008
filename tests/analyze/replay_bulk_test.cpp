// The replay port hands out released bytes in bulk; the timing passes of
// one session work out a log's release schedule once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/nmea_text.h"
#include "tools/analyze/log_replay.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::string gga(const std::string& time) {
  return testing::nmeaSentence("GPGGA," + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}
const std::string kRmc = "$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

// Everything the port gives at the current simulated time.
std::string drainByBytes(ReplayPort& port) {
  std::string out;
  uint8_t byte = 0;
  while (port.readByte(byte) == platform::ReadResult::Byte) out += static_cast<char>(byte);
  return out;
}

std::string drainInBulk(ReplayPort& port, std::size_t& step) {
  std::string out;
  std::span<const uint8_t> bytes;
  while (port.readAvailable(bytes, 0) == platform::ReadResult::Byte) {
    EXPECT_FALSE(bytes.empty());
    // Takes a varying part of each view, as the pump does when a fix ends its tick.
    const std::size_t taken = std::min(bytes.size(), 1 + step++ % 40);
    out.append(reinterpret_cast<const char*>(bytes.data()), taken);
    port.consume(taken);
  }
  return out;
}

TEST(ReplayPortBulk, ViewsGiveTheBytesOfTheOneByteReadAtEveryTick) {
  // Noise before the first GGA, a GGA without time (no group of its own), a
  // step back in time, a NUL byte and the closing "$".
  const std::vector<uint8_t> log = bytesOf("noise\r\n" + gga("120000") + kRmc + "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n" +
                                           gga("120001.5") + std::string("$GPTXT,\0,x\r\n", 12) + gga("120000.5") +
                                           kRmc + gga("120004") + kRmc);
  ReplayPort byBytes(log);
  ReplayPort inBulk(log);
  byBytes.open("COM6:");
  inBulk.open("COM6:");
  EXPECT_EQ(inBulk.groupCount(), byBytes.groupCount());
  std::size_t step = 0;
  std::string all;
  for (uint64_t nowMs = byBytes.startMs(); nowMs < byBytes.startMs() + 6000; nowMs += 100) {
    byBytes.setNowMs(nowMs);
    inBulk.setNowMs(nowMs);
    const std::string expected = drainByBytes(byBytes);
    ASSERT_EQ(drainInBulk(inBulk, step), expected) << nowMs;
    all += expected;
  }
  EXPECT_TRUE(inBulk.exhausted());
  EXPECT_EQ(all, std::string(log.begin(), log.end()) + "$");
}

TEST(ReplayPortBulk, ASessionWorksOutEachLogsScheduleOnce) {
  const std::vector<uint8_t> first = bytesOf(gga("120000") + kRmc + gga("120001"));
  const std::vector<uint8_t> second = bytesOf(gga("130000") + kRmc + gga("130001") + kRmc + gga("130002"));
  TimingSession session;
  loadSettingsDefaults(session.settings);
  runAccelerationPass(first, session, {});
  const auto schedule = session.replaySchedule.schedule;
  ASSERT_NE(schedule, nullptr);
  runDistancePass(first, session, std::nullopt);
  EXPECT_EQ(session.replaySchedule.schedule, schedule);  // reused

  runDistancePass(second, session, std::nullopt);  // another log: its own schedule
  ASSERT_NE(session.replaySchedule.schedule, schedule);
  EXPECT_EQ(session.replaySchedule.schedule->groups.size(), 3u);
  EXPECT_EQ(session.replaySchedule.schedule->startMs, 46800000u);

  const auto gpsOnly = session.replaySchedule.schedule;
  session.talkers = Talkers::Any;  // another talker rule: worked out again
  runDistancePass(second, session, std::nullopt);
  EXPECT_NE(session.replaySchedule.schedule, gpsOnly);
}

}  // namespace
}  // namespace corvantis::analyze
