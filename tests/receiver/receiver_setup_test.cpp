// corvantis-receiver's dialogue against simulated u-blox and MediaTek
// receivers on pseudo-terminals: finding them, setting rate, baud rate and
// sentences, saving, and what happens when they refuse or say nothing.
#include "tools/receiver/receiver_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/receiver/simulated_receiver.h"
#include "tools/receiver/posix_line.h"

namespace corvantis::receiver {
namespace {

using testing::SimulatedReceiver;
using Kind = SimulatedReceiver::Kind;

// Short waits: the simulated receivers answer at once.
SetupRequest quick(int rateHz = 10) {
  SetupRequest request;
  request.rateHz = rateHz;
  request.searchBauds = {9600, 38400, 115200};
  request.listenMs = 400;
  request.answerMs = 400;
  request.verifyMs = 700;
  return request;
}

struct Outcome {
  SetupResult result;
  std::vector<std::string> said;
  SimulatedReceiver::State after;
  bool said_(const std::string& part) const {
    return std::any_of(said.begin(), said.end(), [&](const std::string& s) { return s.find(part) != std::string::npos; });
  }
  bool did(const std::string& command) const {
    return std::find(after.commands.begin(), after.commands.end(), command) != after.commands.end();
  }
};

Outcome setUp(SimulatedReceiver& receiver, const SetupRequest& request) {
  Outcome out;
  PosixReceiverLine line(receiver.devicePath());
  std::string error;
  EXPECT_TRUE(line.open(request.searchBauds.front(), error)) << error;
  ReceiverSetup setup(line, [&](const std::string& text) { out.said.push_back(text); });
  out.result = setup.run(request);
  out.after = receiver.state();
  return out;
}

std::string describe(const Outcome& o) {
  std::string text = "exit " + std::to_string(o.result.exitCode) + " " + o.result.message + "\n";
  for (const std::string& s : o.said) text += "  " + s + "\n";
  return text;
}

struct KindCase {
  const char* name;
  Kind kind;
  const char* found;        // what it is found as
  const char* rateCommand;  // what sets its rate
};
const KindCase kKinds[] = {
    {"u-blox", Kind::UbloxClassic, "found: a u-blox receiver", "CFG-RATE"},
    {"u-blox taking keys only", Kind::UbloxKeysOnly, "found: a u-blox receiver", "CFG-VALSET"},
    {"MediaTek", Kind::Mediatek, "found: a MediaTek (PMTK) receiver", "PMTK220"},
};

TEST(ReceiverSetup, FindsEachReceiverAndSetsItsRate) {
  for (const KindCase& k : kKinds) {
    SCOPED_TRACE(k.name);
    // At 1 Hz and 38400 baud, as a receiver may come: found by searching.
    SimulatedReceiver receiver(k.kind, 38400, 1);
    ASSERT_FALSE(receiver.devicePath().empty());
    const Outcome o = setUp(receiver, quick(10));
    ASSERT_EQ(o.result.exitCode, kExitDone) << describe(o);
    EXPECT_TRUE(o.said_(std::string(k.found) + " at 38400 baud")) << describe(o);
    EXPECT_EQ(o.after.periodMs, 100);
    EXPECT_TRUE(o.did(k.rateCommand)) << describe(o);
    EXPECT_TRUE(o.said_("measured: 10 fixes a second")) << describe(o);
    EXPECT_EQ(o.after.baud, 38400u);  // left as it was
    EXPECT_FALSE(o.after.saved);
  }
}

TEST(ReceiverSetup, MovesEachReceiverToAnotherBaudRate) {
  for (const KindCase& k : kKinds) {
    SCOPED_TRACE(k.name);
    SimulatedReceiver receiver(k.kind, 9600, 5);
    SetupRequest request = quick(10);
    request.baud = 115200;
    const Outcome o = setUp(receiver, request);
    ASSERT_EQ(o.result.exitCode, kExitDone) << describe(o);
    EXPECT_EQ(o.after.baud, 115200u);
    EXPECT_TRUE(o.said_("set: 115200 baud")) << describe(o);
    EXPECT_TRUE(o.said_("at 115200 baud")) << describe(o);  // measured there
    EXPECT_EQ(o.after.periodMs, 100);
  }
}

TEST(ReceiverSetup, TurnsOffTheSentencesTheTimingDoesNotRead) {
  for (const KindCase& k : kKinds) {
    SCOPED_TRACE(k.name);
    SimulatedReceiver receiver(k.kind, 9600, 10);
    SetupRequest request = quick(10);
    request.lean = true;
    const Outcome o = setUp(receiver, request);
    ASSERT_EQ(o.result.exitCode, kExitDone) << describe(o);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kGsv], 0);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kGsa], 0);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kGll], 0);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kGga], 1);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kRmc], 1);
    EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kVtg], 1);
    EXPECT_TRUE(o.said_("set: GSV, GSA and GLL off")) << describe(o);
  }
}

TEST(ReceiverSetup, SavesWhereTheReceiverCan) {
  const struct {
    Kind kind;
    bool saved;
    const char* said;
  } cases[] = {
      {Kind::UbloxClassic, true, "saved: in the receiver's battery-backed memory and flash"},
      {Kind::UbloxKeysOnly, true, "saved: in the receiver's battery-backed memory and flash"},
      {Kind::Mediatek, false, "keeps these settings by itself while its backup battery"},
  };
  for (const auto& c : cases) {
    SimulatedReceiver receiver(c.kind, 9600, 5);
    SetupRequest request = quick(10);
    request.save = true;
    const Outcome o = setUp(receiver, request);
    ASSERT_EQ(o.result.exitCode, kExitDone) << describe(o);
    EXPECT_EQ(o.after.saved, c.saved);
    EXPECT_TRUE(o.said_(c.said)) << describe(o);
  }
}

TEST(ReceiverSetup, ARefusalOrSilenceEndsWithAClearMessageAndItsOwnStatus) {
  SimulatedReceiver::Behaviour refuses;
  refuses.refuses = true;
  SimulatedReceiver::Behaviour silent;
  silent.silent = true;
  SimulatedReceiver::Behaviour deaf;  // talks, but answers no command
  deaf.answers = false;
  SimulatedReceiver::Behaviour stubborn;
  stubborn.keepsItsRate = true;
  const struct {
    const char* what;
    Kind kind;
    SimulatedReceiver::Behaviour behaviour;
    int rateHz;
    int exitCode;
    const char* message;
  } cases[] = {
      {"u-blox refusing", Kind::UbloxClassic, refuses, 10, kExitRefused,
       "the receiver refused a rate of 10 Hz (answered UBX ACK-NAK)"},
      {"MediaTek refusing", Kind::Mediatek, refuses, 10, kExitRefused,
       "the receiver refused a rate of 10 Hz (answered PMTK001 flag 2: valid command, but the action failed)"},
      {"MediaTek asked for more than it can", Kind::Mediatek, {}, 20, kExitRefused,
       "the receiver refused a rate of 20 Hz"},
      {"nothing on the line", Kind::UbloxClassic, silent, 10, kExitNoAnswer,
       "no receiver answers: nothing readable arrived at 9600, 38400, 115200 baud"},
      {"NMEA but no answers", Kind::Mediatek, deaf, 10, kExitNoAnswer,
       "the receiver sends NMEA at 9600 baud but answers neither"},
      {"acknowledged, but the rate stays", Kind::UbloxClassic, stubborn, 10, kExitRateNotReached,
       "the receiver sends 5 fixes a second, not 10"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatedReceiver receiver(c.kind, 9600, 5, c.behaviour);
    const Outcome o = setUp(receiver, quick(c.rateHz));
    EXPECT_EQ(o.result.exitCode, c.exitCode) << describe(o);
    EXPECT_NE(o.result.message.find(c.message), std::string::npos) << describe(o);
    EXPECT_EQ(o.after.periodMs, 200);  // unchanged
  }
}

TEST(ReceiverSetup, EverythingAtOnceOnAReceiverAsItComes) {
  // A u-blox at 1 Hz and 9600 baud with every sentence on: moved to
  // 115200 baud, lean, 20 Hz, saved, and measured.
  SimulatedReceiver receiver(Kind::UbloxClassic, 9600, 1);
  SetupRequest request = quick(20);
  request.baud = 115200;
  request.lean = true;
  request.save = true;
  const Outcome o = setUp(receiver, request);
  ASSERT_EQ(o.result.exitCode, kExitDone) << describe(o);
  EXPECT_EQ(o.after.baud, 115200u);
  EXPECT_EQ(o.after.periodMs, 50);
  EXPECT_TRUE(o.after.saved);
  EXPECT_EQ(o.after.everyNthFix[SimulatedReceiver::kGsv], 0);
  EXPECT_TRUE(o.said_("measured: 20 fixes a second")) << describe(o);
  // In the order that keeps the line from choking: baud first, rate last.
  const auto at = [&](const std::string& c) {
    return std::find(o.after.commands.begin(), o.after.commands.end(), c) - o.after.commands.begin();
  };
  EXPECT_LT(at("CFG-PRT"), at("CFG-MSG"));
  EXPECT_LT(at("CFG-MSG"), at("CFG-RATE"));
  EXPECT_LT(at("CFG-RATE"), at("CFG-CFG"));
}

}  // namespace
}  // namespace corvantis::receiver
