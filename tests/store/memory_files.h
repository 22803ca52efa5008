#pragma once
// Files kept in memory, for the options file tests that need no disk.
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"

namespace corvantis::testing {

class MemoryFiles final : public platform::Files {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  std::string failWrites;  // when set, every write fails with this reason
  std::string failMoves;   // when set, every move aside fails with this reason

  platform::FileRead readWhole(const std::string& path) override {
    platform::FileRead read;
    const auto it = files.find(path);
    if (it == files.end()) {
      read.status = platform::FileRead::Status::NotFound;
      return read;
    }
    read.status = platform::FileRead::Status::Ok;
    read.bytes = it->second;
    return read;
  }
  platform::FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) override {
    if (!failWrites.empty()) return platform::FileResult{false, failWrites, {}};
    files[path].assign(bytes.begin(), bytes.end());
    return platform::FileResult{true, {}, path};
  }
  platform::FileResult moveAside(const std::string& path, const std::string& reason) override {
    if (!failMoves.empty()) return platform::FileResult{false, failMoves, {}};
    const std::string target = path + "." + reason;
    files[target] = files.at(path);
    files.erase(path);
    return platform::FileResult{true, {}, target};
  }
  platform::FileResult removeFile(const std::string& path) override {
    files.erase(path);
    return platform::FileResult{true, {}, path};
  }
  platform::FileResult createFolder(const std::string& path) override {
    return platform::FileResult{true, {}, path};
  }
};

}  // namespace corvantis::testing
