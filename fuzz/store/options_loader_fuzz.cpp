// Feeds arbitrary bytes to the options file loader. Whatever it is given it
// must neither read outside the bytes nor crash, and a file it accepts must
// hold exactly what was loaded (it saves to as many bytes) and save and load
// again to the same stores (the saved form is a fixed point).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "store/options_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvantis;
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  const DecodeReport report = decodeOptions(std::span<const uint8_t>(data, size), settings, records, laps);
  if (!report.ok()) {
    // Refused whole: nothing may have been loaded.
    if (!records.sets().empty() || laps.count() != 0) std::abort();
    return 0;
  }
  const std::vector<uint8_t> saved = encodeOptions(settings, records, laps);
  // A shorter settings record (the first word) is saved whole, at 48 bytes.
  const uint32_t settingsSize = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
  if (saved.size() != size + (kSettingsFileBytes - settingsSize)) std::abort();
  Settings settings2;
  RunRecords records2;
  LapDefinitions laps2;
  const DecodeReport again = decodeOptions(saved, settings2, records2, laps2);
  if (!again.ok() || again.trailingBytes != 0) std::abort();
  if (encodeOptions(settings2, records2, laps2) != saved) std::abort();
  return 0;
}
