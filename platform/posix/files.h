#pragma once
// The file operations on a POSIX file system (open/read/write/fsync/rename),
// and the advisory lock that lets one program at a time hold a file.
#include <cstdint>
#include <string>

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

// One program at a time holds a file whose contents it keeps in memory and
// saves: an advisory lock (flock) on "<file>.lock" beside it (beside the
// file a link leads to), held while the program runs. The file itself
// cannot carry the lock, as every save renames a new file over it. The
// holder of the exclusive lock writes "PID NAME" into the lock file, so a
// program turned away can say who holds it. A reader takes the shared lock:
// it never writes, and never makes the lock file.
class FileLock {
 public:
  enum class Kind { Exclusive, Shared };
  enum class Status {
    Held,         // the lock is ours until release() or destruction
    Busy,         // another program holds it (holder says who)
    NoLockFile,   // a shared lock on a file that no program ever held: nothing to wait for
    Unavailable,  // no lock file could be made or opened (error says why)
  };
  struct Result {
    Status status = Status::Unavailable;
    std::string holder;  // Busy: "corvantis (process 1234)", or "another program"
    std::string error;   // Unavailable: the system's reason
  };

  FileLock() = default;
  ~FileLock() { release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on the file at path, trying for up to waitMs while
  // another program holds it. programName goes into the lock file with our
  // process id (exclusive locks only).
  Result acquire(const std::string& path, Kind kind, const std::string& programName, uint32_t waitMs);
  void release();
  bool held() const { return fd_ >= 0; }

  // "<file>.lock" beside the file at path (or the file its links lead to).
  static std::string lockPathFor(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace corvantis::platform
