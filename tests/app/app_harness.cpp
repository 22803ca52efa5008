#include "tests/app/app_harness.h"

#include "store/options_file.h"

namespace corvantis::testing {

platform::FileRead MemoryFiles::readWhole(const std::string& path) {
  platform::FileRead read;
  const auto found = files.find(path);
  if (found == files.end()) {
    read.status = platform::FileRead::Status::NotFound;
    return read;
  }
  if (const auto refused = unreadable.find(path); refused != unreadable.end()) {
    read.status = platform::FileRead::Status::Failed;
    read.error = refused->second;
    return read;
  }
  read.status = platform::FileRead::Status::Ok;
  read.bytes = found->second;
  return read;
}

platform::FileResult MemoryFiles::writeAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  if (onWrite) onWrite();
  ++writes;
  if (failWrites) return {false, "No space left on device", ""};
  files[path].assign(bytes.begin(), bytes.end());
  return {true, "", path};
}

platform::FileResult MemoryFiles::moveAside(const std::string& path, const std::string& reason) {
  if (!failMoves.empty()) return {false, failMoves, ""};
  const std::string aside = path + "." + reason + "-1";
  files[aside] = files[path];
  files.erase(path);
  return {true, "", aside};
}

platform::FileResult MemoryFiles::createFolder(const std::string&) { return {true, "", ""}; }

void AppHarness::storeOptionsFile(const Settings& settings, const LapDefinitions& laps) {
  files.files[kOptionsPath] = encodeOptions(settings, RunRecords{}, laps);
}

Settings AppHarness::savedSettings() const {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  const auto found = files.files.find(kOptionsPath);
  if (found == files.files.end() || !decodeOptions(found->second, settings, records, laps).ok()) {
    throw std::runtime_error("no readable options file was saved");
  }
  return settings;
}

std::vector<int> AppHarness::screensShown() const {
  std::vector<int> ids;
  for (const auto& run : windows.runs()) ids.push_back(run.resourceId);
  return ids;
}

}  // namespace corvantis::testing
