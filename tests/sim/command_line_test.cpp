// The command line: values reach the options, bad ones are refused with a
// message naming them, and the program's exit status and files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/sim/command_line.h"

namespace corvantis::sim {
namespace {

TEST(SimCommandLine, ValuesReachTheOptions) {
  const CommandLine cl = parseCommandLine({"laps", "--rate", "20", "--start", "23:59:58.5", "--date", "2024-02-29",
                                           "--seed", "18446744073709551615", "--no-noise", "--talker", "GN",
                                           "--laps", "4", "--splits", "500,1000.5", "-o", "x.nmea", "-t", "x.json",
                                           "--origin", "-33.9,18.4", "--power-kw", "300", "--step-ms", "0.5"});
  EXPECT_EQ(cl.scenario, "laps");
  EXPECT_EQ(cl.receiver.rateHz, 20);
  EXPECT_EQ(cl.receiver.startTimeOfDayMs, 86398500u);
  EXPECT_EQ(cl.receiver.startDate, (UtcDate{2024, 2, 29}));
  EXPECT_EQ(cl.receiver.seed, 18446744073709551615ull);
  EXPECT_FALSE(cl.receiver.noise);
  EXPECT_EQ(cl.receiver.talker, "GN");
  EXPECT_EQ(cl.scenarioParams.laps, 4);
  EXPECT_EQ(cl.scenarioParams.splitsM, (std::vector<double>{500.0, 1000.5}));
  EXPECT_EQ(cl.outputPath, "x.nmea");
  EXPECT_EQ(cl.truthPath, "x.json");
  ASSERT_TRUE(cl.scenarioParams.origin);
  EXPECT_EQ(cl.scenarioParams.origin->latitudeDeg, -33.9);
  EXPECT_EQ(cl.scenarioParams.car.powerW, 300000.0);
  EXPECT_EQ(cl.drive.stepS, 0.0005);
  EXPECT_EQ(parseCommandLine({}).scenario, "demo");
  EXPECT_TRUE(parseCommandLine({"--help"}).help);
}

TEST(SimCommandLine, BadOptionsAndValuesAreRefusedByName) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--rate", "7"}, "1, 5, 10, 20 or 25"},
      {{"--rate", "ten"}, "--rate"},
      {{"--rate"}, "--rate needs a value"},
      {{"--start", "24:00:00"}, "--start"},
      {{"--start", "12:00"}, "--start"},
      {{"--date", "2023-02-29"}, "--date"},
      {{"--seed", "-1"}, "--seed"},
      {{"--corrupt", "1.5"}, "--corrupt"},
      {{"--white-noise", "nan"}, "--white-noise"},
      {{"--laps", "0"}, "--laps"},
      {{"--splits", "100,,200"}, "--splits"},
      {{"--talker", "gp"}, "talker"},
      {{"--decimals", "9"}, "--decimals"},
      {{"--rate", "25", "--time-decimals", "1"}, "25 Hz"},
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"drag"}, "unknown scenario"},
      {{"accel", "quarter"}, "one scenario"},
      {{"--origin", "50"}, "--origin"},
  };
  for (const auto& [args, message] : cases) {
    try {
      parseCommandLine(args);
      ADD_FAILURE() << "accepted " << args[0];
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

std::string readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int run(const std::string& args) {
  const int status = std::system((std::string(CORV_SIM_PROGRAM) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimProgram, WritesTheLogAndTheTruthOrFailsClearly) {
  const std::string dir = ::testing::TempDir();
  const std::string log = dir + "/sim_cli.nmea", truth = dir + "/sim_cli.json";
  std::remove(log.c_str());
  std::remove(truth.c_str());
  ASSERT_EQ(run("accel --no-noise --seed 3 -o " + log + " -t " + truth), 0);
  const std::string text = readAll(log);
  EXPECT_EQ(text.rfind("$GPGGA,120000.00,", 0), 0u);
  EXPECT_NE(readAll(truth).find("\"launches\""), std::string::npos);
  EXPECT_EQ(run("--help > /dev/null"), 0);
  EXPECT_EQ(run("--rate 7 -o " + log), 2);
  EXPECT_EQ(readAll(log), text);  // a refused command line leaves the files alone
  EXPECT_EQ(run("accel --to-mph 150 --power-kw 20 -o " + log), 1);  // the car never gets there
  EXPECT_EQ(run("accel -o " + dir + "/no/such/folder/x.nmea"), 1);
}

}  // namespace
}  // namespace corvantis::sim
