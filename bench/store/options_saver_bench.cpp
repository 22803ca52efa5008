// What a save made while the program runs costs, and where: the whole save
// on one thread (what a screen would wait for if the tick saved), against
// the two halves of a background save, the snapshot taken on the screens'
// thread (the file encoded into a buffer kept from the save before) and the
// write the saver's own thread does. Files with every trace and track at
// the most the fix history holds (2048 samples): Args(record sets, tracks),
// each set ten runs, each track 100 laps.
//
//   build/release/bench/store/options_saver_bench --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"

namespace corvantis {
namespace {

struct LargeFile {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  std::string folder;
  std::string path;
  size_t bytes = 0;

  LargeFile(int recordSets, int tracks) {
    auto history = std::make_unique<FixHistory>();
    history->count = FixHistory::kCapacity;
    for (int i = 0; i < history->count; ++i) {
      FixSample& s = history->samples[static_cast<size_t>(i)];
      s.longitude = 6.95 + i * 2e-5;
      s.latitude = 50.33 + i * 1e-5;
      s.speed = static_cast<float>(i % 120);
      s.time = 36000000u + 100u * static_cast<uint32_t>(i);
    }
    for (int k = 0; k < recordSets; ++k) {
      for (uint32_t r = 0; r < 10; ++r) {
        records.addRun(RecordKey{0, static_cast<uint16_t>(k + 1)}, 5000 + r, 1, *history);
      }
    }
    for (int t = 0; t < tracks; ++t) {
      const int index = laps.createDefinition(*history, 0, nullptr, "Track " + std::to_string(t));
      for (uint32_t l = 0; l < 100; ++l) laps.addLapTime(index, 80000 + l, 36000000, 1, *history);
    }
    keepCountsInStep(settings, records, laps);
    bytes = encodeOptions(settings, records, laps).size();
    folder = (std::filesystem::temp_directory_path() /
              ("corv-saver-bench-" + std::to_string(::getpid()) + "-" + std::to_string(recordSets) + "-" +
               std::to_string(tracks)))
                 .string();
    std::filesystem::create_directories(folder);
    path = folder + "/options.bin";
  }
  ~LargeFile() { std::filesystem::remove_all(folder); }
};

LargeFile& fileFor(const benchmark::State& state) {
  static std::map<std::pair<int64_t, int64_t>, std::unique_ptr<LargeFile>> files;
  auto& file = files[{state.range(0), state.range(1)}];
  if (!file) file = std::make_unique<LargeFile>(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  return *file;
}

void setBytes(benchmark::State& state, const LargeFile& file) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.bytes));
  state.counters["MB"] = static_cast<double>(file.bytes) / 1e6;
}

// The whole save where the change was made.
void BM_SaveOnTheScreensThread(benchmark::State& state) {
  LargeFile& file = fileFor(state);
  platform::PosixFiles files;
  for (auto _ : state) {
    if (!saveOptions(files, file.path, file.settings, file.records, file.laps).ok) state.SkipWithError("save failed");
  }
  setBytes(state, file);
}

// The snapshot a background save takes on the screens' thread.
void BM_SnapshotOnTheScreensThread(benchmark::State& state) {
  LargeFile& file = fileFor(state);
  std::vector<uint8_t> buffer;
  encodeOptionsInto(buffer, file.settings, file.records, file.laps);
  for (auto _ : state) {
    encodeOptionsInto(buffer, file.settings, file.records, file.laps);
    benchmark::DoNotOptimize(buffer.data());
  }
  setBytes(state, file);
}

// The write the saver's thread does with the snapshot.
void BM_WriteOnTheSaversThread(benchmark::State& state) {
  LargeFile& file = fileFor(state);
  platform::PosixFiles files;
  const std::vector<uint8_t> snapshot = encodeOptions(file.settings, file.records, file.laps);
  for (auto _ : state) {
    if (!saveEncodedOptions(files, file.path, snapshot).ok) state.SkipWithError("write failed");
  }
  setBytes(state, file);
}

// 1 set and 1 track (a day at the track), 20 and 5 (a season), 100 and 20.
#define CORV_SIZES Args({1, 1})->Args({20, 5})->Args({100, 20})->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_SaveOnTheScreensThread)->CORV_SIZES;
BENCHMARK(BM_SnapshotOnTheScreensThread)->CORV_SIZES;
BENCHMARK(BM_WriteOnTheSaversThread)->CORV_SIZES;

}  // namespace
}  // namespace corvantis
