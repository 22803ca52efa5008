#pragma once
// The file operations on a POSIX file system (open/read/write/fsync/rename).
#include "platform/files.h"

namespace corvantis::platform {

class PosixFiles final : public Files {
 public:
  FileRead readWhole(const std::string& path) override;
  FileRead readWithin(const std::string& path, const SizeLimit& limit) override;
  FileRead readWithinInto(const std::string& path, const SizeLimit& limit,
                          const std::function<void(std::span<const uint8_t> bytes)>& use) override;
  FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) override;
  FileResult writeAtomicallyFrom(const std::string& path,
                                 const std::function<void(const PutPiece& put)>& produce) override;
  int removeStaleTemporaries(const std::string& path) override;
  FileResult moveAside(const std::string& path, const std::string& reason) override;
  FileResult removeFile(const std::string& path) override;
  FileResult createFolder(const std::string& path) override;
};

}  // namespace corvantis::platform
