#pragma once
// Whole-file access as the options file needs it: read a file at once,
// replace a file so that it holds either its old or its new content whatever
// happens during the write, move a damaged file aside, create a folder.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvantis::platform {

struct FileRead {
  enum class Status {
    Ok,        // bytes hold the whole file
    NotFound,  // there is no file at the path
    NotAFile,  // something else is there (a folder, a device, a FIFO)
    Failed,    // the file is there but could not be read (error says why)
    TooLarge,  // larger than its first bytes allow: not read (size says how large)
  };
  Status status = Status::Failed;
  std::vector<uint8_t> bytes;
  std::string error;  // the system's reason, for a message to the user
  uint64_t size = 0;  // TooLarge: the file's size in bytes
  uint64_t limit = 0; // TooLarge: the most it may hold
};

// How large a file may be, judged from its first headBytes bytes (fewer when
// the file is shorter): lets a reader that knows the format refuse a file far
// too large for what it announces without reading it into memory.
struct SizeLimit {
  size_t headBytes = 0;
  std::function<uint64_t(std::span<const uint8_t> head)> largest;
};

struct FileResult {
  bool ok = false;
  std::string error;  // the system's reason when !ok
  std::string path;   // moveAside: where the file went
  bool existed = false;  // writeAtomically failed: a file was there before (and still is)
};

class Files {
 public:
  virtual ~Files() = default;

  // Never blocks on a FIFO or a device: anything but a regular file (after
  // following links) is NotAFile, unopened.
  virtual FileRead readWhole(const std::string& path) = 0;

  // readWhole, but a file larger than limit allows for its first bytes is
  // TooLarge and not read on. This default reads it whole first; a real
  // file system judges it by its size.
  virtual FileRead readWithin(const std::string& path, const SizeLimit& limit) {
    FileRead read = readWhole(path);
    if (read.status != FileRead::Status::Ok || !limit.largest) return read;
    const size_t head = read.bytes.size() < limit.headBytes ? read.bytes.size() : limit.headBytes;
    const uint64_t largest = limit.largest(std::span<const uint8_t>(read.bytes.data(), head));
    if (read.bytes.size() > largest) {
      read.status = FileRead::Status::TooLarge;
      read.size = read.bytes.size();
      read.limit = largest;
      read.bytes.clear();
    }
    return read;
  }

  // readWithin, with the bytes handed to `use` where they were read (valid
  // during the call) instead of kept in the result, whose bytes stay empty:
  // a reader that decodes the file needs no zero-filled copy of it. `use` is
  // called only when the status is Ok.
  virtual FileRead readWithinInto(const std::string& path, const SizeLimit& limit,
                                  const std::function<void(std::span<const uint8_t> bytes)>& use) {
    FileRead read = readWithin(path, limit);
    if (read.status == FileRead::Status::Ok) {
      use(read.bytes);
      read.bytes = {};
    }
    return read;
  }

  // Writes bytes to a new file in path's folder, flushes it to the disk,
  // renames it over path and flushes the folder. On failure path keeps its
  // earlier content (or stays absent) and the new file is removed. When path
  // is a symbolic link, the link stays and its target is replaced (the new
  // file is made beside the target). Anything at path other than a regular
  // file, or a link to one, is refused and left as it is.
  virtual FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) = 0;

  // writeAtomically with the content made while it is written: produce
  // hands it over piece by piece, in order, through put, which answers false
  // once writing has failed (produce may stop early; the write fails either
  // way). An exception from produce leaves path as it was and goes on to the
  // caller. This default gathers the pieces and writes them at once.
  using PutPiece = std::function<bool(std::span<const uint8_t> piece)>;
  virtual FileResult writeAtomicallyFrom(const std::string& path, const std::function<void(const PutPiece& put)>& produce) {
    std::vector<uint8_t> bytes;
    produce([&bytes](std::span<const uint8_t> piece) {
      bytes.insert(bytes.end(), piece.begin(), piece.end());
      return true;
    });
    return writeAtomically(path, bytes);
  }

  // Renames path to a free name beside it that says why and when, such as
  // "options.bin.damaged-20261207-142501" for reason "damaged"; the result's
  // path is the new name.
  virtual FileResult moveAside(const std::string& path, const std::string& reason) = 0;

  // Removes the temporary files that saves of path killed part-way left
  // beside it (or beside the file a link at path leads to), those whose
  // process is gone; a running process's file may be a save under way and
  // stays. Answers how many went.
  virtual int removeStaleTemporaries(const std::string& /*path*/) { return 0; }

  // Removes the file at path (a link itself, not its target) and flushes the
  // folder; ok when there was nothing there.
  virtual FileResult removeFile(const std::string& /*path*/) {
    FileResult result;
    result.error = "files cannot be removed here";
    return result;
  }

  // Creates the folder and any missing folders above it; ok when it exists.
  virtual FileResult createFolder(const std::string& path) = 0;
};

}  // namespace corvantis::platform
