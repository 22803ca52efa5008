// Writes the seed corpus of the options loader fuzz target: small valid
// files that reach every section. Run it from the source tree to renew the
// seeds on purpose: store_fuzz_corpus fuzz/store/corpus
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "store/options_file.h"

namespace {

using namespace corvantis;

void fill(FixHistory& history, int count) {
  history.count = count;
  for (int i = 0; i < count; ++i) {
    FixSample& s = history.samples[static_cast<size_t>(i)];
    s.longitude = 6.95 + i * 2e-5;
    s.latitude = 50.33 + (i % 3) * 1e-5;
    s.speed = static_cast<float>(i) * 4.0f;
    s.time = 36000000u + 100u * static_cast<uint32_t>(i);
  }
}

void write(const std::string& folder, const char* name, const Settings& settings, const RunRecords& records,
           const LapDefinitions& laps) {
  const std::vector<uint8_t> bytes = encodeOptions(settings, records, laps);
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  std::printf("%s: %zu bytes\n", name, bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  FixHistory history;
  write(folder, "defaults.bin", settings, records, laps);

  settings.units = 1;
  settings.distance = 400.0;
  fill(history, 4);
  records.addRun(accelerationKey(0.0f, 60.0f), 5234, 1765090000, history);
  history.count = 0;
  records.addRun(accelerationKey(0.0f, 60.0f), 6010, 1765090100, history);
  fill(history, 3);
  records.addRun(distanceKey(400.0), 13400, 1765090200, history);
  records.addRun(distanceKey(400.0), 13300, 1765090300, history);
  records.forgetLastRun(distanceKey(400.0));
  write(folder, "runs.bin", settings, records, laps);

  fill(history, 6);
  const TrackPoint split{history.samples[3].longitude, history.samples[3].latitude};
  laps.createDefinition(history, 1, &split, "N\xC3\xBCrburgring \xF0\x9F\x8F\x81");
  fill(history, 3);
  laps.addLapTime(0, 83456, 36000000, 1765090400, history);
  laps.addLapTime(0, 82001, 36083456, 1765090500, history);
  write(folder, "runs_and_laps.bin", settings, records, laps);

  records.sets().clear();
  fill(history, 4);
  laps.createDefinition(history, 0, nullptr, "Short");
  write(folder, "two_tracks.bin", settings, records, laps);
  return 0;
}
