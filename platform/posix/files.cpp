#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <new>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace corvantis::platform {
namespace {

std::string reasonOf(int error) { return std::system_category().message(error); }

FileResult failure(int error) {
  FileResult result;
  result.error = reasonOf(error);
  return result;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Closes a descriptor on every path out of a function.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error that close itself may carry (on some
  // file systems the last write error only shows here).
  int closeNow() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

int writeAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Makes a rename in the folder durable. Some file systems cannot sync a
// folder (EINVAL); the rename has still happened and the file is whole, so
// that is no failure of the save.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string localStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

// The file a chain of symbolic links at path ends in (path itself when it is
// no link; a missing final target is where the file will be created).
int resolveLinks(const std::string& start, std::string& resolved) {
  std::string path = start;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno != ENOENT) return errno;
      resolved = path;
      return 0;
    }
    if (!S_ISLNK(info.st_mode)) {
      resolved = path;
      return 0;
    }
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (n < 0) return errno;
    const std::string next(target.data(), static_cast<size_t>(n));
    path = (next.empty() || next[0] == '/') ? next : folderOf(path) + "/" + next;
  }
  return ELOOP;
}

// Reads until buffer is full or the file ends; count is what was read.
int readUpTo(int fd, std::vector<uint8_t>& buffer, size_t& count) {
  count = 0;
  while (count < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + count, buffer.size() - count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    count += static_cast<size_t>(n);
  }
  return 0;
}

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return reasonOf(EISDIR);
  if (S_ISFIFO(mode)) return "a FIFO, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
  if (S_ISSOCK(mode)) return "a socket, not a regular file";
  return "not a regular file";
}

FileRead notAFile(mode_t mode) {
  FileRead result;
  result.status = FileRead::Status::NotAFile;
  result.error = kindOf(mode);
  return result;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

FileRead PosixFiles::readWhole(const std::string& path) { return readWithin(path, SizeLimit{}); }

namespace {

// The bytes of a file being read: a vector (zero-filled as it grows) or raw
// memory that is only ever written by the reads.
struct VectorBuffer {
  std::vector<uint8_t>& bytes;
  uint8_t* data() { return bytes.data(); }
  size_t size() const { return bytes.size(); }
  void resize(size_t n) { bytes.resize(n); }
};

// Memory for a file being read that is only ever written by the reads:
// never zero-filled by us, and for a large file asked for in huge pages,
// so that the kernel provides it with a few dozen faults, not one a page.
class RawBuffer {
 public:
  RawBuffer() = default;
  RawBuffer(const RawBuffer&) = delete;
  RawBuffer& operator=(const RawBuffer&) = delete;
  ~RawBuffer() { release(); }
  uint8_t* data() { return data_; }
  size_t size() const { return length_; }
  void resize(size_t n) {
    uint8_t* grown = nullptr;
    size_t mapped = 0;
    if (n >= kHugeFrom) {
      mapped = n + kHugePage;
      void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (raw == MAP_FAILED) throw std::bad_alloc();
      // From the first huge-page boundary inside the mapping.
      const auto address = reinterpret_cast<uintptr_t>(raw);
      grown = reinterpret_cast<uint8_t*>((address + kHugePage - 1) & ~(kHugePage - 1));
      ::madvise(grown, n, MADV_HUGEPAGE);
      if (length_ > 0) std::memcpy(grown, data_, std::min(length_, n));
      release();
      mapping_ = raw;
      mappedBytes_ = mapped;
    } else {
      std::unique_ptr<uint8_t[]> heap(new uint8_t[n]);  // uninitialised
      grown = heap.get();
      if (length_ > 0) std::memcpy(grown, data_, std::min(length_, n));
      release();
      heap_ = std::move(heap);
    }
    data_ = grown;
    length_ = n;
  }

 private:
  static constexpr size_t kHugePage = size_t{2} << 20;
  static constexpr size_t kHugeFrom = size_t{4} << 20;
  void release() {
    heap_.reset();
    if (mapping_ != nullptr) ::munmap(mapping_, mappedBytes_);
    mapping_ = nullptr;
    mappedBytes_ = 0;
    data_ = nullptr;
    length_ = 0;
  }
  std::unique_ptr<uint8_t[]> heap_;
  void* mapping_ = nullptr;
  size_t mappedBytes_ = 0;
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
};

// Reads the file at path whole into buffer (done: the bytes read), judging
// it by the limit first; result carries every outcome but the bytes.
template <typename Buffer>
FileRead readFileInto(const std::string& path, const SizeLimit& limit, Buffer& buffer, size_t& done) {
  FileRead result;
  done = 0;
  // Judged before opening: opening a FIFO for reading waits for a writer,
  // and a device may answer forever.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int error = errno;
    result.status = error == ENOENT ? FileRead::Status::NotFound : FileRead::Status::Failed;
    result.error = reasonOf(error);
    return result;
  }
  if (!S_ISREG(info.st_mode)) return notAFile(info.st_mode);
  // Non-blocking all the same, should something else take its place in between.
  const int raw = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (raw < 0) {
    const int error = errno;
    result.status = error == ENOENT ? FileRead::Status::NotFound : FileRead::Status::Failed;
    result.error = reasonOf(error);
    return result;
  }
  Descriptor fd(raw);
  if (::fstat(fd.get(), &info) != 0) {
    result.error = reasonOf(errno);
    return result;
  }
  if (!S_ISREG(info.st_mode)) return notAFile(info.st_mode);
  const uint64_t size = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;

  // The first bytes say how large the file may be; a larger one is not read.
  std::vector<uint8_t> head(limit.largest ? limit.headBytes : 0);
  size_t headRead = 0;
  if (const int error = readUpTo(fd.get(), head, headRead); error != 0) {
    result.error = reasonOf(error);
    return result;
  }
  head.resize(headRead);
  const uint64_t largest = limit.largest ? limit.largest(head) : UINT64_MAX;
  if (size > largest) {
    result.status = FileRead::Status::TooLarge;
    result.size = size;
    result.limit = largest;
    return result;
  }

  // The size is only a hint: the file is read to its end, however long
  // (within the limit, when there is one).
  buffer.resize(std::max<uint64_t>(size + 1, headRead + 4096));
  if (headRead > 0) std::memcpy(buffer.data(), head.data(), headRead);
  done = headRead;
  for (;;) {
    if (done == buffer.size()) buffer.resize(buffer.size() * 2);
    const ssize_t n = ::read(fd.get(), buffer.data() + done, buffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = reasonOf(errno);
      done = 0;
      return result;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done > largest) {
      // It grew while being read past what it may hold.
      result.status = FileRead::Status::TooLarge;
      result.size = done;
      result.limit = largest;
      done = 0;
      return result;
    }
  }
  result.status = FileRead::Status::Ok;
  return result;
}

}  // namespace

FileRead PosixFiles::readWithin(const std::string& path, const SizeLimit& limit) {
  std::vector<uint8_t> bytes;
  VectorBuffer buffer{bytes};
  size_t done = 0;
  FileRead result = readFileInto(path, limit, buffer, done);
  if (result.status == FileRead::Status::Ok) {
    bytes.resize(done);
    result.bytes = std::move(bytes);
  }
  return result;
}

FileRead PosixFiles::readWithinInto(const std::string& path, const SizeLimit& limit,
                                    const std::function<void(std::span<const uint8_t> bytes)>& use) {
  RawBuffer buffer;
  size_t done = 0;
  FileRead result = readFileInto(path, limit, buffer, done);
  if (result.status == FileRead::Status::Ok) use(std::span<const uint8_t>(buffer.data(), done));
  return result;
}

namespace {

// The atomic replacement, with the content written by writeContent(fd),
// which answers 0 or the error of the write that failed.
FileResult replaceAtomically(const std::string& linkOrPath, const std::function<int(int fd)>& writeContent) {
  static std::atomic<unsigned> serial{0};
  // Through a link the target is replaced and the link kept: renaming over
  // the link itself would leave its target stale.
  std::string path;
  if (const int error = resolveLinks(linkOrPath, path); error != 0) return failure(error);
  struct stat present {};
  const bool existed = ::stat(path.c_str(), &present) == 0;
  if (existed && !S_ISREG(present.st_mode)) {
    FileResult refused;
    refused.error = kindOf(present.st_mode);
    refused.existed = true;
    return refused;
  }
  const auto failed = [existed](int error) {
    FileResult result = failure(error);
    result.existed = existed;
    return result;
  };
  const std::string folder = folderOf(path);

  // A new file beside the old one: the rename below is atomic only within
  // one file system, and the folder is the one place sure to be on it.
  std::string temporary;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) return failed(errno);
  }
  if (raw < 0) return failed(EEXIST);
  Descriptor fd(raw);
  const auto abandon = [&](int error) {
    ::unlink(temporary.c_str());
    return failed(error);
  };

  // The new file keeps the permissions the user gave the old one.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd.get(), old.st_mode & 07777);
  }

  int writeError = 0;
  try {
    writeError = writeContent(fd.get());
  } catch (...) {
    // Whatever stopped the content from being made, the old file stays.
    ::unlink(temporary.c_str());
    throw;
  }
  if (writeError != 0) return abandon(writeError);
  if (::fsync(fd.get()) != 0) return abandon(errno);
  if (const int error = fd.closeNow(); error != 0) return abandon(error);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return abandon(errno);
  syncFolder(folder);
  FileResult result;
  result.ok = true;
  result.path = path;
  return result;
}

}  // namespace

FileResult PosixFiles::writeAtomically(const std::string& linkOrPath, std::span<const uint8_t> bytes) {
  return replaceAtomically(linkOrPath, [bytes](int fd) { return writeAll(fd, bytes); });
}

FileResult PosixFiles::writeAtomicallyFrom(const std::string& linkOrPath,
                                           const std::function<void(const PutPiece& put)>& produce) {
  return replaceAtomically(linkOrPath, [&produce](int fd) {
    int error = 0;
    produce([fd, &error](std::span<const uint8_t> piece) {
      if (error == 0) error = writeAll(fd, piece);
      return error == 0;
    });
    return error;
  });
}

int PosixFiles::removeStaleTemporaries(const std::string& path) {
  std::string target;
  std::vector<std::string> places{path};
  if (resolveLinks(path, target) == 0 && target != path) places.push_back(target);
  int removed = 0;
  for (const std::string& place : places) {
    const auto slash = place.find_last_of('/');
    const std::string prefix = (slash == std::string::npos ? place : place.substr(slash + 1)) + ".tmp-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(place), error)) {
      const std::string name = entry.path().filename().string();
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      // "<name>.tmp-PID-N", as writeAtomically names them.
      const std::string rest = name.substr(prefix.size());
      const auto dash = rest.find('-');
      if (dash == 0 || dash == std::string::npos || dash > 9) continue;
      if (rest.find_first_not_of("0123456789") != dash) continue;
      if (dash + 1 == rest.size() || rest.find_first_not_of("0123456789", dash + 1) != std::string::npos) continue;
      const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
      if (pid <= 0 || pid == ::getpid()) continue;
      // Only a process that is certainly gone: EPERM means it lives under
      // another user.
      if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
      struct stat info {};
      if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      if (::unlink(entry.path().c_str()) == 0) ++removed;
    }
  }
  return removed;
}

FileResult PosixFiles::moveAside(const std::string& path, const std::string& reason) {
  const std::string base = path + "." + reason + "-" + localStamp();
  std::string target = base;
  for (int n = 2; exists(target); ++n) {
    if (n > 1000) return failure(EEXIST);
    target = base + "-" + std::to_string(n);
  }
  if (::rename(path.c_str(), target.c_str()) != 0) return failure(errno);
  syncFolder(folderOf(path));
  FileResult result;
  result.ok = true;
  result.path = target;
  return result;
}

FileResult PosixFiles::removeFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failure(errno);
  syncFolder(folderOf(path));
  FileResult result;
  result.ok = true;
  result.path = path;
  return result;
}

FileResult PosixFiles::createFolder(const std::string& path) {
  if (path.empty()) return FileResult{true, {}, path};  // the working folder
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    FileResult result;
    result.error = error.message();
    return result;
  }
  // create_directories is content when the path exists as something else.
  if (!std::filesystem::is_directory(path, error)) return failure(ENOTDIR);
  FileResult result;
  result.ok = true;
  result.path = path;
  return result;
}

}  // namespace corvantis::platform

namespace corvantis::platform {
namespace {

// "corvantis (process 1234)" from the lock file's "1234 corvantis", when
// that process still runs; a reader's shared lock or a stale name answers
// "another program".
std::string holderOf(int fd) {
  char text[256] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return "another program";
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  if (end == text || pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
    return "another program";
  }
  std::string name(end);
  while (!name.empty() && (name.front() == ' ')) name.erase(name.begin());
  while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
  if (name.empty()) name = "a program";
  return name + " (process " + std::to_string(pid) + ")";
}

void sleepMs(uint32_t ms) {
  struct timespec pause {};
  pause.tv_sec = static_cast<time_t>(ms / 1000);
  pause.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

}  // namespace

std::string FileLock::lockPathFor(const std::string& path) {
  std::string target;
  if (resolveLinks(path, target) != 0) target = path;
  return target + ".lock";
}

FileLock::Result FileLock::acquire(const std::string& path, Kind kind, const std::string& programName,
                                   uint32_t waitMs) {
  release();
  Result result;
  const std::string lockPath = lockPathFor(path);
  const bool exclusive = kind == Kind::Exclusive;
  int fd = -1;
  if (exclusive) {
    fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    // A lock file another user made: it can still be locked, just not written.
    if (fd < 0 && errno == EACCES) fd = ::open(lockPath.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  } else {
    fd = ::open(lockPath.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      result.status = Status::NoLockFile;
      return result;
    }
  }
  if (fd < 0) {
    result.error = reasonOf(errno);
    return result;
  }
  constexpr uint32_t kRetryMs = 50;
  for (uint32_t waitedMs = 0;; waitedMs += kRetryMs) {
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) break;
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || waitedMs >= waitMs) {
      if (error == EWOULDBLOCK) {
        result.status = Status::Busy;
        result.holder = holderOf(fd);
      } else {
        result.error = reasonOf(error);
      }
      ::close(fd);
      return result;
    }
    sleepMs(kRetryMs);
  }
  if (exclusive) {
    const std::string text = std::to_string(::getpid()) + " " + programName + "\n";
    if (::ftruncate(fd, 0) == 0) {
      [[maybe_unused]] const ssize_t n = ::pwrite(fd, text.data(), text.size(), 0);
    }
  }
  fd_ = fd;
  result.status = Status::Held;
  return result;
}

void FileLock::release() {
  if (fd_ < 0) return;
  // Closing the last descriptor releases the lock. The lock file stays:
  // removing it would let two programs lock two different files.
  ::close(fd_);
  fd_ = -1;
}

}  // namespace corvantis::platform
