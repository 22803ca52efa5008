#pragma once
// Whole-file access as the options file needs it: read a file at once,
// replace a file so that it holds either its old or its new content whatever
// happens during the write, move a damaged file aside, create a folder.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvantis::platform {

struct FileRead {
  enum class Status {
    Ok,        // bytes hold the whole file
    NotFound,  // there is no file at the path
    NotAFile,  // something else is there (a folder, a device)
    Failed,    // the file is there but could not be read (error says why)
  };
  Status status = Status::Failed;
  std::vector<uint8_t> bytes;
  std::string error;  // the system's reason, for a message to the user
};

struct FileResult {
  bool ok = false;
  std::string error;  // the system's reason when !ok
  std::string path;   // moveAside: where the file went
};

class Files {
 public:
  virtual ~Files() = default;

  virtual FileRead readWhole(const std::string& path) = 0;

  // Writes bytes to a new file in path's folder, flushes it to the disk,
  // renames it over path and flushes the folder. On failure path keeps its
  // earlier content (or stays absent) and the new file is removed.
  virtual FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) = 0;

  // Renames path to a free name beside it that says why and when, such as
  // "options.bin.damaged-20261207-142501" for reason "damaged"; the result's
  // path is the new name.
  virtual FileResult moveAside(const std::string& path, const std::string& reason) = 0;

  // Creates the folder and any missing folders above it; ok when it exists.
  virtual FileResult createFolder(const std::string& path) = 0;
};

}  // namespace corvantis::platform
