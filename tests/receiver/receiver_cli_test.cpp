// The corvantis-receiver program itself, with its own waits, against a
// simulated MediaTek receiver as one comes out of the box (1 Hz, 9600 baud).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/receiver/simulated_receiver.h"

namespace corvantis::receiver {
namespace {

struct Ran {
  int status = -1;
  std::string output;  // standard output and error
};

Ran runProgram(const std::string& arguments) {
  Ran ran;
  const std::string command = std::string(CORV_RECEIVER_PROGRAM) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return ran;
  char chunk[512];
  while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) ran.output += chunk;
  const int status = pclose(pipe);
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return ran;
}

TEST(ReceiverProgram, SetsAReceiverToTenHertzAndSaysWhatItDid) {
  testing::SimulatedReceiver receiver(testing::SimulatedReceiver::Kind::Mediatek, 9600, 1);
  ASSERT_FALSE(receiver.devicePath().empty());
  const Ran ran = runProgram("--port " + receiver.devicePath());
  EXPECT_EQ(ran.status, 0) << ran.output;
  for (const char* said : {"found: a MediaTek (PMTK) receiver at 9600 baud", "set: 10 fixes a second",
                           "measured: 10 fixes a second over 2 s", "done: "}) {
    EXPECT_NE(ran.output.find(said), std::string::npos) << said << "\n" << ran.output;
  }
  EXPECT_EQ(receiver.state().periodMs, 100);
}

TEST(ReceiverProgram, PortsThatCannotBeOpenedAreTold) {
  const struct {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"--port /nonexistent/ttyGPS", "/nonexistent/ttyGPS does not exist"},
      {"--port /dev/null", "/dev/null is no serial line"},
  };
  for (const auto& c : cases) {
    const Ran ran = runProgram(c.arguments);
    EXPECT_EQ(ran.status, 2) << c.arguments;
    EXPECT_NE(ran.output.find(c.message), std::string::npos) << c.arguments << "\n" << ran.output;
  }
}

}  // namespace
}  // namespace corvantis::receiver
