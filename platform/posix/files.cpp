#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

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

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

FileRead PosixFiles::readWhole(const std::string& path) {
  FileRead result;
  const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (raw < 0) {
    const int error = errno;
    result.status = error == ENOENT ? FileRead::Status::NotFound : FileRead::Status::Failed;
    result.error = reasonOf(error);
    return result;
  }
  Descriptor fd(raw);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    result.error = reasonOf(errno);
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = FileRead::Status::NotAFile;
    result.error = S_ISDIR(info.st_mode) ? reasonOf(EISDIR) : "not a regular file";
    return result;
  }
  // The size is only a hint: the file is read to its end, however long.
  result.bytes.resize(info.st_size > 0 ? static_cast<size_t>(info.st_size) + 1 : 4096);
  size_t done = 0;
  for (;;) {
    if (done == result.bytes.size()) result.bytes.resize(result.bytes.size() * 2);
    const ssize_t n = ::read(fd.get(), result.bytes.data() + done, result.bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = reasonOf(errno);
      result.bytes.clear();
      return result;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  result.bytes.resize(done);
  result.status = FileRead::Status::Ok;
  return result;
}

FileResult PosixFiles::writeAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  static std::atomic<unsigned> serial{0};
  const std::string folder = folderOf(path);

  // A new file beside the old one: the rename below is atomic only within
  // one file system, and the folder is the one place sure to be on it.
  std::string temporary;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    raw = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) return failure(errno);
  }
  if (raw < 0) return failure(EEXIST);
  Descriptor fd(raw);
  const auto abandon = [&](int error) {
    ::unlink(temporary.c_str());
    return failure(error);
  };

  // The new file keeps the permissions the user gave the old one.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd.get(), old.st_mode & 07777);
  }

  if (const int error = writeAll(fd.get(), bytes); error != 0) return abandon(error);
  if (::fsync(fd.get()) != 0) return abandon(errno);
  if (const int error = fd.closeNow(); error != 0) return abandon(error);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return abandon(errno);
  syncFolder(folder);
  FileResult result;
  result.ok = true;
  result.path = path;
  return result;
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
