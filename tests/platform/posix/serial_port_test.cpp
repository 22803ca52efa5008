// The serial port and the sentence pump on real pseudo-terminals: the test
// writes into the master end what a receiver would send.
#include "platform/posix/serial_port.h"

#include <gtest/gtest.h>

#include "tests/support/nmea_text.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "gps/gps_input.h"
#include "platform/posix/clock.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis::testing {
uint32_t terminalOutputRate(int fd);
}

namespace corvantis {
namespace {

using platform::ComDeviceTable;
using platform::PosixSerialPort;
using testing::ScriptedMessageBoxes;

std::string gga(const std::string& time, const std::string& latitude = "4807.038") {
  return testing::nmeaSentence("GPGGA," + time + "," + latitude + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~Pty() { closeMaster(); }
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  void write(const std::string& text) {
    ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string path_;
};

struct PtyPump {
  Pty pty;
  ComDeviceTable table;
  PosixSerialPort port{table};
  ScriptedMessageBoxes boxes;
  std::unique_ptr<GpsInput> gps = std::make_unique<GpsInput>(port, boxes);
  std::vector<bool> ticks;

  PtyPump() {
    table.setComDevice(6, pty.path());
    gps->afterTick = [this](bool newFix) { ticks.push_back(newFix); };
  }
  // Ticks until a new fix or `limit` ticks; the pseudo-terminal hands bytes
  // over asynchronously, so a tick may find only part of what was written.
  bool tickUntilFix(int limit = 30) {
    for (int i = 0; i < limit; ++i) {
      gps->pumpTick();
      if (!ticks.empty() && ticks.back()) return true;
    }
    return false;
  }
};

TEST(ComDeviceTable, DefaultsAndOverrides) {
  ComDeviceTable table;
  EXPECT_EQ(table.devicePath("COM6:"), "/dev/ttyACM0");
  EXPECT_EQ(table.devicePath("COM1:"), "/dev/ttyS0");
  EXPECT_EQ(table.devicePath("COM8"), "/dev/ttyACM1");
  for (const char* bad : {"COM0:", "COM9:", "COM:", "COMX:", "LPT1:", ""}) EXPECT_EQ(table.devicePath(bad), "") << bad;
  EXPECT_TRUE(platform::applyComOption(table, "3=/dev/ttyUSB0"));
  EXPECT_EQ(table.devicePath("COM3:"), "/dev/ttyUSB0");
  for (const char* bad : {"9=/dev/x", "0=/dev/x", "=/dev/x", "3", "3=", "x=/dev/y"}) {
    EXPECT_FALSE(platform::applyComOption(table, bad)) << bad;
  }
  EXPECT_NE(table.describe().find("  COM3  /dev/ttyUSB0\n"), std::string::npos);
  EXPECT_NE(table.describe().find("  COM6  /dev/ttyACM0\n"), std::string::npos);
}

TEST(PosixSerialPort, OpensAtEveryRateOfTheTable) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  for (int baudIndex = 0; baudIndex < kBaudRateCount; ++baudIndex) {
    ASSERT_TRUE(p.gps->openPort(5, baudIndex)) << baudIndex;
    EXPECT_EQ(testing::terminalOutputRate(p.pty.master()), kBaudRates[baudIndex]);
    termios tty{};
    ASSERT_EQ(tcgetattr(p.pty.master(), &tty), 0);
    EXPECT_EQ(tty.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tty.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tty.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tty.c_cc[VMIN], 0);
    EXPECT_EQ(tty.c_cc[VTIME], 1);
  }
  EXPECT_TRUE(p.boxes.shown.empty());
}

TEST(PosixSerialPort, OpenFailuresShowTheirMessages) {
  // A device that does not exist.
  PtyPump missing;
  missing.table.setComDevice(6, "/nonexistent/ttyGPS");
  missing.gps->currentFix.satellites = 5;
  EXPECT_FALSE(missing.gps->openPort(5, 0));
  EXPECT_EQ(missing.boxes.texts(), std::vector<std::string>{"Unable to open Comm port"});
  EXPECT_EQ(missing.gps->currentFix.satellites, -1);
  // A device that is no serial line: its line settings cannot be applied.
  PtyPump notATerminal;
  notATerminal.table.setComDevice(6, "/dev/null");
  EXPECT_FALSE(notATerminal.gps->openPort(5, 0));
  EXPECT_EQ(notATerminal.boxes.texts(), std::vector<std::string>{"Unable to set the baud rate.\nTry a lower baud"});
  EXPECT_FALSE(notATerminal.gps->portOpen());
  // (The time-out failure cannot be produced on a real device; the fake
  // serial port covers it in the pump's own tests.)
}

TEST(PosixSerialPort, PumpCutsSentencesAndReportsEveryFix) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  ASSERT_TRUE(p.gps->openPort(5, 0));
  p.pty.write(gga("120000"));
  p.pty.write("$GPRMC,120000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n");
  ASSERT_TRUE(p.tickUntilFix());
  EXPECT_EQ(p.gps->history.newestFixTime(), 43200000u);
  // Three sentences at once: every fix, in order, each with an update of its
  // own (the terminal may hand the bytes over in more than one piece).
  std::vector<uint32_t> seen;
  p.gps->afterTick = [&](bool newFix) {
    p.ticks.push_back(newFix);
    if (newFix) seen.push_back(p.gps->history.newestFixTime());
  };
  p.pty.write(gga("120001", "4807.138") + gga("120002", "4807.238") + gga("120003", "4807.338") + "$");
  for (int i = 0; i < 30 && seen.size() < 3; ++i) p.gps->pumpTick();
  EXPECT_EQ(seen, (std::vector<uint32_t>{43201000u, 43202000u, 43203000u}));
  EXPECT_EQ(p.gps->history.count, 4);
  EXPECT_DOUBLE_EQ(p.gps->currentFix.latitude, 48.0 + 7.338 / 60.0);
}

TEST(PosixSerialPort, HoldOffLeavesTheBytesInThePort) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  ASSERT_TRUE(p.gps->openPort(5, 0));
  p.gps->holdOffTicks = kScreenChangeHoldOffTicks;
  p.pty.write(gga("120000") + "$");
  for (int i = 0; i < kScreenChangeHoldOffTicks; ++i) p.gps->pumpTick();
  EXPECT_TRUE(p.ticks.empty());
  EXPECT_EQ(p.gps->history.count, 0);
  EXPECT_TRUE(p.tickUntilFix());
  EXPECT_EQ(p.gps->history.count, 1);
}

TEST(PosixSerialPort, SilenceBecomesADeviceError) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  ASSERT_TRUE(p.gps->openPort(5, 0));
  p.pty.write(gga("120000") + "$");
  ASSERT_TRUE(p.tickUntilFix());
  // Each silent tick waits out the 100 ms read time-out: this takes 10 s.
  int ticks = 0;
  while (!p.gps->currentFix.deviceError && ticks < 150) {
    p.gps->pumpTick();
    ++ticks;
  }
  EXPECT_EQ(ticks, kSilentTicksForDeviceError + 1);
  EXPECT_EQ(gpsStatusText(p.gps->currentFix), "GPS Device Error");
  // Plugged back in: reopening clears the error and fixes flow again.
  ASSERT_TRUE(p.gps->openPort(5, 0));
  EXPECT_FALSE(p.gps->currentFix.deviceError);
  p.pty.write(gga("120030") + "$");
  EXPECT_TRUE(p.tickUntilFix());
  EXPECT_EQ(p.gps->history.newestFixTime(), 43230000u);
}

TEST(PosixSerialPort, APortThatDisappearsIsADeviceError) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  ASSERT_TRUE(p.gps->openPort(5, 0));
  p.pty.write(gga("120000") + "$GPGGA,1200");
  ASSERT_TRUE(p.tickUntilFix());
  p.pty.closeMaster();  // the receiver is unplugged mid-sentence
  for (int i = 0; i < 5 && !p.gps->currentFix.deviceError; ++i) p.gps->pumpTick();
  EXPECT_TRUE(p.gps->currentFix.deviceError);
  EXPECT_EQ(p.gps->history.count, 1);
  p.gps->closePort();
  EXPECT_FALSE(p.gps->portOpen());
}

// The program's ticks (tickReadWaitMs 0) take what has arrived and never
// wait for the receiver, however long the port's read time-out. Were a tick
// to wait, the hundred silent ticks below would take 100 x 25.5 s.
TEST(PosixSerialPort, ATickWithNothingToReadReturnsAtOnce) {
  PtyPump p;
  ASSERT_TRUE(p.pty.ok());
  ASSERT_TRUE(p.gps->openPort(5, 0));
  platform::Timeouts longest;
  longest.readTotalMs = 25500;
  ASSERT_TRUE(p.port.applyTimeouts(longest));
  p.gps->tickReadWaitMs = 0;
  const auto start = std::chrono::steady_clock::now();
  int ticks = 0;
  while (!p.gps->currentFix.deviceError && ticks < 150) {
    p.gps->pumpTick();
    ++ticks;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Still a hundred silent ticks before the error, as with waiting reads.
  EXPECT_EQ(ticks, kSilentTicksForDeviceError + 1);

  // And what arrives is read by the next ticks, without waiting for it.
  ASSERT_TRUE(p.gps->openPort(5, 0));
  ASSERT_TRUE(p.port.applyTimeouts(longest));
  p.pty.write(gga("120000") + gga("120001", "4807.138") + "$");
  p.ticks.clear();
  long fixes = 0;
  for (int i = 0; i < 2000 && fixes < 2; ++i) {
    p.gps->pumpTick();
    fixes = std::count(p.ticks.begin(), p.ticks.end(), true);
    if (fixes < 2) ::usleep(1000);  // the pseudo-terminal hands bytes over asynchronously
  }
  EXPECT_EQ(fixes, 2);
  EXPECT_EQ(p.gps->history.newestFixTime(), 43201000u);
}

TEST(PosixClock, TicksAndCalendar) {
  platform::PosixClock clock;
  const uint32_t before = clock.tickMs();
  clock.sleepMs(20);
  EXPECT_GE(static_cast<uint32_t>(clock.tickMs() - before), 20u);
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  const int64_t expected = static_cast<int64_t>(now) + local.tm_gmtoff;
  EXPECT_NEAR(static_cast<double>(clock.calendarSeconds()), static_cast<double>(static_cast<uint32_t>(expected)), 2.0);
}

}  // namespace
}  // namespace corvantis

namespace corvantis {
namespace {

// What a user outside the device's group meets: the open fails, and the
// port names the device and the group that may open it. Root may open
// anything, so as root the open runs in a child as "nobody".
std::string permissionDeniedGroup(const std::string& path) {
  std::string reported = "(none)";
  const auto attempt = [&] {
    platform::ComDeviceTable table;
    table.setComDevice(6, path);
    platform::PosixSerialPort port(table);
    port.onPermissionDenied = [&](const std::string& device, const std::string& group) {
      reported = device == path ? group : "(wrong path " + device + ")";
    };
    if (port.open("COM6:")) reported = "(opened)";
  };
  if (geteuid() != 0) {
    attempt();
    return reported;
  }
  int fds[2];
  if (pipe(fds) != 0) return "(no pipe)";
  const pid_t child = fork();
  if (child == 0) {
    ::close(fds[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    attempt();
    [[maybe_unused]] const ssize_t n = write(fds[1], reported.data(), reported.size());
    _exit(0);
  }
  ::close(fds[1]);
  char buffer[128];
  const ssize_t n = read(fds[0], buffer, sizeof buffer);
  ::close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "(child failed)";
}

TEST(PosixSerialPort, PermissionDeniedNamesTheDeviceAndItsGroup) {
  char path[] = "/tmp/corvantis-device-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  // A device only its owner may open: the usual serial group.
  ASSERT_EQ(chmod(path, geteuid() == 0 ? 0600 : 0000), 0);
  EXPECT_EQ(permissionDeniedGroup(path), "dialout");
  // A device whose group may read and write it: that group.
  if (geteuid() == 0) {
    const group* tty = getgrnam("tty");
    if (tty != nullptr && chown(path, 0, tty->gr_gid) == 0 && chmod(path, 0660) == 0) {
      EXPECT_EQ(permissionDeniedGroup(path), "tty");
    }
  }
  // A device that is not there is no matter of permission.
  unlink(path);
  EXPECT_EQ(permissionDeniedGroup(path), "(none)");
}

}  // namespace
}  // namespace corvantis
