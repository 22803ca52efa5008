// One program at a time holds an options file: a second corvantis on it
// says who holds it and ends, the analyzer waits a while and gives up with
// its own status, a reader lists what was saved; and runs stored by one
// program are never dropped by the next.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits up to `limit` for `done`, looking every 50 ms.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

class OneProgramPerFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corv-lock-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "runtime");
    fs::permissions(dir_ / "runtime", fs::perms::owner_all);
    sim::ScenarioParams params;
    params.runs = 2;
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    std::ofstream(dir_ / "accel.nmea", std::ios::binary)
        << sim::renderLog(sim::simulate(sim::accelScenario(params), receiver));
    options_ = (dir_ / "options.bin").string();
  }
  void TearDown() override {
    for (const pid_t pid : started_) {
      if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
    fs::remove_all(dir_);
  }

  // Starts a program with its output and messages in dir_/name.out.
  pid_t start(const std::string& name, std::vector<std::string> arguments) {
    const std::string out = (dir_ / (name + ".out")).string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (dir_ / "runtime").c_str(), 1);
      const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> argv;
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    started_.push_back(pid);
    return pid;
  }
  std::string output(const std::string& name) const { return readFile(dir_ / (name + ".out")); }
  // Exit status, or -1 when it did not end in time (or ended by a signal).
  static int waitExit(pid_t pid, std::chrono::milliseconds limit = 20s) {
    int status = 0;
    if (!waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t startProgram(const std::string& name) {
    return start(name, {CORV_CORVANTIS_PROGRAM, "--nmea", (dir_ / "accel.nmea").string(), "--options", options_});
  }
  int runAnalyzer(const std::string& name) {
    return waitExit(start(name, {CORV_ANALYZE_PROGRAM, "--accel", "0-60", "--options", options_,
                                 (dir_ / "accel.nmea").string()}));
  }
  bool holds(pid_t pid) const {
    return readFile(options_ + ".lock") == std::to_string(pid) + " corvantis\n";
  }

  fs::path dir_;
  std::string options_;
  std::vector<pid_t> started_;
};

TEST_F(OneProgramPerFile, ASecondProgramIsToldWhoHoldsTheFileAndNothingIsDropped) {
  const pid_t first = startProgram("first");
  ASSERT_TRUE(waitFor([&] { return holds(first); }, 15s)) << output("first");

  // Another window on the same file: told who holds it, on standard error
  // as on screen; it ends with its own status when the message is closed
  // (here by Ctrl+C, as from a terminal).
  const pid_t second = startProgram("second");
  const std::string told = "is in use by corvantis (process " + std::to_string(first) + ")";
  ASSERT_TRUE(waitFor([&] { return output("second").find(told) != std::string::npos; }, 15s)) << output("second");
  ::kill(second, SIGINT);
  EXPECT_EQ(waitExit(second), 4);

  // The analyzer waits a few seconds, then gives up with its own status,
  // and its runs are not timed into the file another program holds.
  EXPECT_EQ(runAnalyzer("refused"), 4);
  EXPECT_NE(output("refused").find(told), std::string::npos) << output("refused");

  ::kill(first, SIGTERM);
  EXPECT_EQ(waitExit(first), 0) << output("first");

  ASSERT_EQ(runAnalyzer("analyzer"), 0) << output("analyzer");
  const std::string runs = output("analyzer");
  ASSERT_NE(runs.find("accel 0-60 mph: "), std::string::npos) << runs;

  // The next program loads them; ending it keeps them.
  const pid_t third = startProgram("third");
  ASSERT_TRUE(waitFor([&] { return holds(third); }, 15s)) << output("third");
  const pid_t reader = start("records", {CORV_RECORDS_PROGRAM, "--options", options_});
  EXPECT_EQ(waitExit(reader), 0);
  EXPECT_NE(output("records").find("held by corvantis (process " + std::to_string(third) + ")"), std::string::npos)
      << output("records");
  EXPECT_NE(output("records").find("Acc Run: 0..60 mph"), std::string::npos) << output("records");
  ::kill(third, SIGTERM);
  EXPECT_EQ(waitExit(third), 0) << output("third");
  const pid_t after = start("after", {CORV_RECORDS_PROGRAM, "--options", options_, "--csv"});
  EXPECT_EQ(waitExit(after), 0);
  // Every run the analyzer stored is still there.
  const std::string csv = output("after");
  int found = 0;
  for (size_t at = runs.find("accel 0-60 mph: "); at != std::string::npos; at = runs.find("accel 0-60 mph: ", at + 1)) {
    const size_t from = at + 16;
    const std::string time = runs.substr(from, runs.find('\n', from) - from);
    EXPECT_NE(csv.find("," + time + ","), std::string::npos) << time << "\n" << csv;
    ++found;
  }
  EXPECT_EQ(found, 2) << runs;
}

}  // namespace
}  // namespace corvantis
