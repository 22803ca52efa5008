// The corvantis program's command line as a user types it: mistakes are
// told and end the program before any window opens.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace corvantis {
namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error together
};

Outcome run(const std::string& arguments) {
  Outcome outcome;
  const std::string command =
      "QT_QPA_PLATFORM=offscreen " + std::string(CORV_CORVANTIS_PROGRAM) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(CorvantisCommandLine, MistakesAreToldAndEndTheProgram) {
  const std::string folder = std::filesystem::temp_directory_path().string();
  struct Case {
    std::string arguments;
    const char* told;
  };
  const Case cases[] = {
      {"--portrait --landscape", "cannot be used together"},
      {"--landscape --portrait", "cannot be used together"},
      {"--com 06=/dev/null", "expected N=PATH"},
      {"--com 6:=/dev/null", "expected N=PATH"},
      {"--com 9=/dev/null", "expected N=PATH"},
      {"--com =/dev/null", "expected N=PATH"},
      {"--nmea " + folder, "is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find(c.told), std::string::npos) << outcome.output;
  }
  // Right ones still pass: the help lists the port given.
  const Outcome good = run("--portrait --portrait --com 6=/dev/ttyUSB7 --help");
  EXPECT_EQ(good.status, 0);
  EXPECT_NE(good.output.find("/dev/ttyUSB7"), std::string::npos) << good.output;
}

}  // namespace
}  // namespace corvantis
