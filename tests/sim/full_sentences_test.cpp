// A simulated multi-system receiver's whole sentence set: its size and
// form, and that it carries the same fixes as the lean drive.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/sim/sim_test_support.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

using testing::checksumOk;
using testing::fieldsOf;
using testing::sentencesOf;

SimResult chatty(int rateHz, bool full, bool dropouts = false) {
  ReceiverOptions rx;
  rx.rateHz = rateHz;
  rx.fullSentenceSets = full;
  if (dropouts) rx.dropoutsPerMinute = 3.0;
  ScenarioParams params;
  params.runs = 1;
  return simulate(accelScenario(params), rx);
}

TEST(FullSentenceSets, EachEpochCarriesEverySystemAndAboutOneAndAHalfKilobytes) {
  const SimResult r = chatty(10, true, true);
  std::size_t bytes = 0;
  int epochsWithoutFix = 0;
  for (const Epoch& e : r.epochs) {
    bytes += e.text.size();
    std::map<std::string, int> gsvListed, gsvTotal;
    std::vector<std::string> gsaSystems;
    int gll = 0;
    for (const std::string& s : sentencesOf(e.text)) {
      ASSERT_TRUE(checksumOk(s)) << s;
      const std::vector<std::string> f = fieldsOf(s);
      const std::string type = f[0].substr(2);
      if (type == "GSV") {
        // Sentence count, its number and the satellites in view agree.
        const int total = std::stoi(f[1]);
        ASSERT_LE(std::stoi(f[2]), total) << s;
        gsvTotal[f[0]] = std::stoi(f[3]);
        gsvListed[f[0]] += static_cast<int>((f.size() - 4) / 4);
      } else if (type == "GSA") {
        ASSERT_EQ(f.size(), f[0] == "GNGSA" ? 19u : 18u) << s;
        gsaSystems.push_back(f[0] == "GNGSA" ? f[18] : "GP");
      } else if (type == "GLL") {
        ++gll;
        EXPECT_EQ(f[6], e.hasFix ? "A" : "V") << s;
      }
    }
    EXPECT_EQ(gsaSystems, (std::vector<std::string>{"GP", "2", "3", "4"}));
    for (const char* talker : {"GPGSV", "GLGSV", "GAGSV", "GBGSV"}) {
      EXPECT_GT(gsvTotal[talker], 0) << talker;
      EXPECT_EQ(gsvListed[talker], gsvTotal[talker]) << talker;
    }
    EXPECT_EQ(gll, 1);
    if (!e.hasFix) ++epochsWithoutFix;
  }
  EXPECT_GT(epochsWithoutFix, 0);  // the dropouts were there and written too
  const double perEpoch = static_cast<double>(bytes) / static_cast<double>(r.epochs.size());
  EXPECT_GT(perEpoch, 1350.0);
  EXPECT_LT(perEpoch, 1650.0);
}

TEST(FullSentenceSets, TheFixesAreThoseOfTheLeanDrive) {
  // The extra sentences draw no random numbers: noise, sky and fixes stay
  // as they were, so a chatty log times exactly like the lean one.
  for (const int rateHz : {1, 10, 25}) {
    const SimResult lean = chatty(rateHz, false);
    const SimResult full = chatty(rateHz, true);
    ASSERT_EQ(lean.epochs.size(), full.epochs.size());
    for (std::size_t i = 0; i < lean.epochs.size(); ++i) {
      const std::vector<std::string> a = sentencesOf(lean.epochs[i].text);
      const std::vector<std::string> b = sentencesOf(full.epochs[i].text);
      ASSERT_EQ(a.front(), b.front()) << rateHz << " Hz, epoch " << i;  // the GGA
      ASSERT_EQ(a.back(), b.back()) << rateHz << " Hz, epoch " << i;    // the RMC
    }
  }
}

}  // namespace
}  // namespace corvantis::sim
