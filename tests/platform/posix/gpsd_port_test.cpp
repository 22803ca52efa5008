// gpsd as the receiver: the address syntax, the stream handed out without
// gpsd's JSON, silence when gpsd is missing, and the whole GPS input against
// a real gpsd fed a real receiver log through a pseudo-terminal (skipped
// where gpsd is not installed).
#include "platform/posix/gpsd_port.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "gps/gps_input.h"
#include "platform/posix/pseudo_terminal.h"
#include "tests/support/scripted_message_boxes.h"
#include "tools/corvantis/receiver_feeder.h"

extern char** environ;

namespace corvantis::platform {
namespace {

TEST(GpsdAddress, HostAndPortForms) {
  const struct {
    const char* text;
    bool ok;
    const char* host;
    uint16_t port;
  } cases[] = {
      {"", true, "localhost", 2947},
      {"gps.local", true, "gps.local", 2947},
      {"gps.local:3000", true, "gps.local", 3000},
      {":3000", true, "localhost", 3000},
      {"10.0.0.2:65535", true, "10.0.0.2", 65535},
      {"[::1]", true, "::1", 2947},
      {"[fe80::1]:2948", true, "fe80::1", 2948},
      {"host:", false, "", 0},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:29x", false, "", 0},
      {"::1", false, "", 0},  // an IPv6 address needs its brackets
      {"[::1", false, "", 0},
      {"[::1]x", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string host = "unchanged";
    uint16_t port = 1;
    EXPECT_EQ(parseGpsdAddress(c.text, host, port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    } else {
      EXPECT_EQ(host, "unchanged") << c.text;
    }
  }
}

// A TCP port on the loopback that nothing listens on (just released).
uint16_t freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// Takes the pump's 100 silent ticks of 100 ms: about ten seconds.
TEST(GpsdPort, AMissingGpsdIsSilenceThatBecomesTheDeviceErrorWithoutABusyLoop) {
  GpsdPort port("127.0.0.1", freePort());
  testing::ScriptedMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  ASSERT_TRUE(gps->openPort(5, 0));
  EXPECT_TRUE(boxes.shown.empty());
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSilentTicksForDeviceError; ++i) gps->pumpTick();
  EXPECT_FALSE(gps->currentFix.deviceError);
  gps->pumpTick();
  EXPECT_TRUE(gps->currentFix.deviceError);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  // About one attempt a second, however often the pump asks.
  EXPECT_LE(port.connectAttempts(), 2 * (seconds + 2));
  EXPECT_TRUE(boxes.shown.empty());
}

// A stand-in gpsd on the loopback, driven by the test itself.
TEST(GpsdPort, AsksForNmeaAndLeavesGpsdsOwnReportsOut) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

  GpsdPort port("127.0.0.1", ntohs(address.sin_port));
  ASSERT_TRUE(port.open("COM6:"));
  uint8_t byte = 0;
  EXPECT_EQ(port.readByte(byte), ReadResult::Nothing);  // connects
  const int client = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(client, 0);
  EXPECT_TRUE(port.connected());
  char request[128] = {};
  ASSERT_GT(::recv(client, request, sizeof request - 1, 0), 0);
  EXPECT_STREQ(request, kGpsdWatchRequest);

  const std::string nmea1 = "$GPGGA,204132.10,4205.733715,N,08802.040978,W,2,08,1.0,221.9,M,,,3,0138*15\r\n";
  const std::string nmea2 = "$GPRMC,204132.00,A,4205.733476,N,08802.041110,W,9.415,21.404,190214,,,D*7C\r\n";
  const std::string stream = "{\"class\":\"VERSION\",\"release\":\"3.22\"}\r\n" + nmea1 +
                             "{\"class\":\"DEVICE\",\"path\":\"$GPGGA,bogus\"}\r\n" + nmea2;
  // In two pieces, the second starting inside a JSON line.
  const size_t cut = stream.find("\"path\"");
  ASSERT_EQ(::send(client, stream.data(), cut, 0), static_cast<ssize_t>(cut));
  std::string got;
  for (int i = 0; i < 400 && got.size() < nmea1.size(); ++i) {
    if (port.readByte(byte) == ReadResult::Byte) got += static_cast<char>(byte);
  }
  ASSERT_EQ(::send(client, stream.data() + cut, stream.size() - cut, 0), static_cast<ssize_t>(stream.size() - cut));
  for (int i = 0; i < 400 && got.size() < nmea1.size() + nmea2.size(); ++i) {
    if (port.readByte(byte) == ReadResult::Byte) got += static_cast<char>(byte);
  }
  EXPECT_EQ(got, nmea1 + nmea2);

  // gpsd goes away: silence, not a failure.
  ::close(client);
  ::close(listener);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(port.readByte(byte), ReadResult::Nothing);
  EXPECT_FALSE(port.connected());
  port.close();
  EXPECT_EQ(port.readByte(byte), ReadResult::Failed);
}

// The real daemon.
std::string gpsdProgram() {
  for (const char* path : {"/usr/sbin/gpsd", "/usr/local/sbin/gpsd", "/sbin/gpsd"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return {};
}

std::filesystem::path realLog(const char* name) {
  return std::filesystem::path(CORV_SHARED_DATA_DIR) / "nmea-real" / name;
}

class RealGpsd {
 public:
  RealGpsd(std::string program, uint16_t port, std::string device, std::filesystem::path folder)
      : program_(std::move(program)), port_(port), device_(std::move(device)), folder_(std::move(folder)) {}
  ~RealGpsd() { stop(); }

  // Foreground (-N), reading the device at once (-n), never writing to it
  // (-b), on our own port and control socket. CORV_GPSD_DEBUG=1 in the
  // environment shows gpsd's own log of what it sends.
  bool start() {
    const std::string port = std::to_string(port_);
    const std::string control = (folder_ / "gpsd.sock").string();
    const std::string debug = getenv("CORV_GPSD_DEBUG") != nullptr ? "2" : "0";
    std::vector<std::string> args = {program_, "-N", "-n", "-b", "-D", debug, "-S", port, "-F", control, device_};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!getenv("CORV_GPSD_DEBUG")) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawn(&pid_, program_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) pid_ = -1;
    return pid_ > 0;
  }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  std::string program_;
  uint16_t port_;
  std::string device_;
  std::filesystem::path folder_;
  pid_t pid_ = -1;
};

// Ticks (each reads with the port's 100 ms wait) until `done` or about 20 s.
template <typename Done>
bool tickUntil(GpsInput& gps, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    gps.pumpTick();
  }
  return true;
}

TEST(GpsdPort, ARealGpsdFedARealLogStoppedAndStartedAgain) {
  const std::string program = gpsdProgram();
  if (program.empty()) GTEST_SKIP() << "gpsd is not installed (Debian package gpsd)";
  const auto logPath = realLog("gpsd/rst39.log");  // 10 Hz, a vehicle near Chicago
  if (!std::filesystem::exists(logPath)) GTEST_SKIP() << "no " << logPath;
  std::ifstream in(logPath, std::ios::binary);
  const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  const auto folder = std::filesystem::temp_directory_path() / ("corvantis-gpsd-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.open()) << terminal.error();
  demo::Drive drive = demo::driveFromLog(log);
  ASSERT_FALSE(drive.parts.empty());
  demo::closeTheLoop(drive);
  demo::ReceiverFeeder feeder(terminal, std::move(drive), true);
  feeder.start();

  const uint16_t tcpPort = freePort();
  auto gpsd = std::make_unique<RealGpsd>(program, tcpPort, terminal.devicePath(), folder);
  ASSERT_TRUE(gpsd->start());

  GpsdPort port("localhost", tcpPort);
  testing::ScriptedMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  ASSERT_TRUE(gps->openPort(5, 0));
  int fixes = 0;
  gps->afterTick = [&](bool newFix) { fixes += newFix ? 1 : 0; };
  ASSERT_TRUE(tickUntil(*gps, [&] { return fixes >= 10; })) << "no fixes through gpsd";
  EXPECT_NEAR(gps->currentFix.latitude, 42.0956, 0.001);
  EXPECT_NEAR(gps->currentFix.longitude, -88.0340, 0.001);
  EXPECT_GE(gps->currentFix.satellites, 8);
  EXPECT_FALSE(gps->currentFix.deviceError);

  // gpsd stops mid-drive: the device error of a silent receiver.
  gpsd->stop();
  const long attemptsBefore = port.connectAttempts();
  const auto stoppedAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(tickUntil(*gps, [&] { return gps->currentFix.deviceError; }));
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - stoppedAt).count();
  EXPECT_LE(port.connectAttempts() - attemptsBefore, 2 * (seconds + 2));
  EXPECT_TRUE(boxes.shown.empty());

  // Started again, and OK on the configuration screen: fixes come again.
  gpsd = std::make_unique<RealGpsd>(program, tcpPort, terminal.devicePath(), folder);
  ASSERT_TRUE(gpsd->start());
  ASSERT_TRUE(gps->openPort(5, 0));
  EXPECT_FALSE(gps->currentFix.deviceError);
  fixes = 0;
  EXPECT_TRUE(tickUntil(*gps, [&] { return fixes >= 5; })) << "no fixes after gpsd came back";
  EXPECT_FALSE(gps->currentFix.deviceError);

  gpsd->stop();
  feeder.stop();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvantis::platform
