// Runs and laps whose trace memory cannot be had. This program replaces the
// global allocation functions so that large requests can be made to fail;
// it is a program of its own so that no other test runs under them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "store/lap_definitions.h"
#include "store/run_records.h"
#include "tests/store/store_fixtures.h"

namespace {
// Requests of at least this many bytes fail while it is non-zero.
std::size_t failFrom = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (failFrom != 0 && size >= failFrom) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace corvantis {
namespace {

using testing::fillHistory;

// Traces of 2000 samples need 24000 bytes; nothing else here asks as much.
constexpr std::size_t kTraceBytes = 2000 * sizeof(TraceSample);

TEST(TraceMemory, ARunWithoutTraceMemoryIsStoredWithoutATrace) {
  RunRecords store;
  FixHistory history;
  fillHistory(history, 3);
  store.addRun(RecordKey{0, 60}, 5000, 1, history);  // the set exists before the failure
  fillHistory(history, 2000);
  failFrom = kTraceBytes;
  const bool added = store.addRun(RecordKey{0, 60}, 4800, 2, history);
  failFrom = 0;
  ASSERT_TRUE(added);
  const RunRecord& run = store.findRecordSet(RecordKey{0, 60})->runs[1];
  EXPECT_EQ(run.timeMs, 4800u);
  EXPECT_EQ(run.traceCount, 0);
  EXPECT_TRUE(run.trace.empty());
  EXPECT_EQ(store.bestTime(RecordKey{0, 60}), 4800u);
}

TEST(TraceMemory, ALapWithoutTraceMemoryIsStoredWithoutATrace) {
  LapDefinitions store;
  FixHistory history;
  fillHistory(history, 10);
  store.createDefinition(history, 0, nullptr, "Track");
  fillHistory(history, 2000);
  failFrom = kTraceBytes;
  const bool added = store.addLapTime(0, 70000, 1, 2, history);
  failFrom = 0;
  ASSERT_TRUE(added);
  EXPECT_EQ(store.lastLapTime(0), 70000u);
  EXPECT_EQ(store.at(0).laps[0].traceCount, 0);
}

}  // namespace
}  // namespace corvantis
