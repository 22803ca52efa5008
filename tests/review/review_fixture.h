#pragma once
// The review screens on the headless window system, with runs and lap
// times put straight into the stores.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"
#include "ui/context.h"

namespace corvantis::testing {

struct ReviewHarness {
  // A stored run: its time and stamp, with the trace given (may be empty).
  void addRun(RecordKey key, uint32_t timeMs, uint32_t stamp, std::vector<TraceSample> trace = {}) {
    ASSERT_TRUE(ctx.records.addRun(key, timeMs, stamp, ctx.gps.history));
    RecordSet& set = *ctx.records.findRecordSet(key);
    RunRecord& run = set.runs[static_cast<size_t>(set.filledCount() - 1)];
    run.trace = std::move(trace);
    run.traceCount = static_cast<int32_t>(run.trace.size());
  }
  // A lap track with these lap times (stamps 1000 s apart, no traces).
  void addTrack(const std::string& name, const std::vector<uint32_t>& lapTimesMs, uint32_t firstStamp = 0) {
    LapDefinition track;
    track.name = name;
    for (uint32_t timeMs : lapTimesMs) {
      RunRecord& lap = track.laps[static_cast<size_t>(track.lapCount++)];
      lap.timeMs = timeMs;
      lap.stamp = firstStamp + 1000u * static_cast<uint32_t>(track.lapCount);
    }
    ctx.lapDefinitions.definitions().push_back(std::move(track));
    ctx.settings.lapDefinitionCount = ctx.lapDefinitions.count();
  }

  platform::headless::HeadlessWindowSystem windows;
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};
};

inline std::vector<std::string> itemsOf(const platform::headless::HeadlessDialog& d, int id) {
  std::vector<std::string> items;
  for (int i = 0; i < d.itemCount(id); ++i) items.push_back(d.itemText(id, i));
  return items;
}

}  // namespace corvantis::testing
