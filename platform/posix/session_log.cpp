#include "platform/posix/session_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace corvantis::platform {
namespace {

std::string reasonOf(int error) { return std::system_category().message(error); }

bool digits(const std::string& text, size_t from, size_t count) {
  if (from + count > text.size()) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

struct LogFile {
  std::string name;
  uint64_t bytes = 0;
};

// The session logs in folder other than `own`, oldest first (the names
// sort by time).
std::vector<LogFile> otherLogs(const std::string& folder, const std::string& own) {
  std::vector<LogFile> logs;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name == own || !isSessionLogName(name)) continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    logs.push_back(LogFile{name, static_cast<uint64_t>(info.st_size)});
  }
  // By the time in the name, then by the number two sessions of one second
  // carry ("-2" after none): as text, "-" would sort before ".".
  const auto order = [](const std::string& name) {
    const unsigned long long number = name[18] == '-' ? std::strtoull(name.c_str() + 19, nullptr, 10) : 1;
    return std::make_pair(name.substr(0, 18), number);
  };
  std::sort(logs.begin(), logs.end(), [&](const LogFile& a, const LogFile& b) { return order(a.name) < order(b.name); });
  return logs;
}

uint64_t totalOf(const std::vector<LogFile>& logs) {
  uint64_t total = 0;
  for (const LogFile& log : logs) total += log.bytes;
  return total;
}

}  // namespace

std::string sessionLogName(std::time_t utc) {
  std::tm parts{};
  gmtime_r(&utc, &parts);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d_%H%M%SZ.nmea", &parts);
  return text;
}

bool isSessionLogName(const std::string& name) {
  // YYYY-MM-DD_HHMMSSZ, then "-N" when two sessions started in one second.
  if (!(digits(name, 0, 4) && name.size() > 18 && name[4] == '-' && digits(name, 5, 2) && name[7] == '-' &&
        digits(name, 8, 2) && name[10] == '_' && digits(name, 11, 6) && name[17] == 'Z')) {
    return false;
  }
  size_t at = 18;
  if (name[at] == '-') {
    const size_t start = ++at;
    while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
    if (at == start) return false;
  }
  return name.compare(at, std::string::npos, ".nmea") == 0;
}

bool parseByteSize(const std::string& text, uint64_t& bytes) {
  size_t at = 0;
  uint64_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    const uint64_t digit = static_cast<uint64_t>(text[at] - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
    ++at;
  }
  if (at == 0) return false;
  int shift = 0;
  if (at < text.size()) {
    switch (text[at]) {
      case 'k': case 'K': shift = 10; break;
      case 'm': case 'M': shift = 20; break;
      case 'g': case 'G': shift = 30; break;
      case 't': case 'T': shift = 40; break;
      default: return false;
    }
    ++at;
    if (text.compare(at, std::string::npos, "") != 0 && text.compare(at, std::string::npos, "B") != 0 &&
        text.compare(at, std::string::npos, "iB") != 0) {
      return false;
    }
  }
  if (value == 0 || value > (UINT64_MAX >> shift)) return false;
  bytes = value << shift;
  return true;
}

PosixSessionLog::PosixSessionLog(SessionLogOptions options) : options_(std::move(options)) {
  writer_ = std::thread([this] { writerLoop(); });
}

PosixSessionLog::~PosixSessionLog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

void PosixSessionLog::append(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return;
    if (pending_.size() + bytes.size() > options_.bufferBytes) {
      // The disk has not kept up for seconds: the screens must not wait for
      // it, so these bytes are left out, and the driver is told once.
      dropped_ += bytes.size();
      if (!droppedTold_) {
        droppedTold_ = true;
        problems_.push_back("The session log fell behind the receiver (the disk is slow): some of this session's "
                            "data is missing from " +
                            (path_.empty() ? options_.folder : path_) + ". Timing goes on.");
      }
      return;
    }
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    appended_ += bytes.size();
  }
  wake_.notify_all();
}

std::string PosixSessionLog::takeProblem() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (problems_.empty()) return {};
  std::string problem = std::move(problems_.front());
  problems_.erase(problems_.begin());
  return problem;
}

void PosixSessionLog::flush() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.notify_all();
  wake_.wait(lock, [this] { return stopped_ || written_ == appended_; });
}

std::string PosixSessionLog::path() {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

bool PosixSessionLog::stopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

void PosixSessionLog::stop(const std::string& problem) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  pending_.clear();
  pending_.shrink_to_fit();
  problems_.push_back(problem);
  wake_.notify_all();
}

bool PosixSessionLog::openFile() {
  std::error_code error;
  std::filesystem::create_directories(options_.folder, error);
  if (error) {
    stop("No session log is kept: the folder " + options_.folder + " could not be made (" + error.message() +
         "). Timing goes on.");
    return false;
  }
  // Two sessions that start in one second get "-2", "-3", ...
  std::string name = sessionLogName(options_.startUtc);
  const std::string stem = name.substr(0, name.size() - 5);
  for (int n = 2; fd_ < 0; ++n) {
    const std::string path = options_.folder + "/" + name;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      path_ = path;
      break;
    }
    if (errno != EEXIST || n > 1000) {
      stop("No session log is kept: " + path + " could not be made (" + reasonOf(errno) + "). Timing goes on.");
      return false;
    }
    name = stem + "-" + std::to_string(n) + ".nmea";
  }
  othersBytes_ = totalOf(otherLogs(options_.folder, name));
  keepUnderLimit();
  return fd_ >= 0;
}

void PosixSessionLog::keepUnderLimit() {
  if (othersBytes_ + fileBytes_ <= options_.limitBytes) return;
  const std::string own = path_.substr(path_.find_last_of('/') + 1);
  std::vector<LogFile> others = otherLogs(options_.folder, own);
  othersBytes_ = totalOf(others);
  // The oldest go first; this session's own log is never removed.
  for (const LogFile& oldest : others) {
    if (othersBytes_ + fileBytes_ <= options_.limitBytes) break;
    if (::unlink((options_.folder + "/" + oldest.name).c_str()) == 0 || errno == ENOENT) {
      othersBytes_ -= oldest.bytes;
    }
  }
  if (fileBytes_ > options_.limitBytes) {
    stop("The session log " + path_ + " reached the " + std::to_string(options_.limitBytes) +
         " bytes allowed for session logs and stops here. Timing goes on.");
  }
}

bool PosixSessionLog::writeOut(const std::vector<uint8_t>& bytes) {
  if (fd_ < 0 && !openFile()) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      fileBytes_ += done;
      if (error == ENOSPC || error == EDQUOT) {
        stop("The disk is full: the session log " + path_ + " stops here (" + reasonOf(error) +
             "). Timing goes on.");
      } else {
        stop("The session log " + path_ + " stops here (" + reasonOf(error) + "). Timing goes on.");
      }
      return false;
    }
    done += static_cast<size_t>(n);
  }
  fileBytes_ += done;
  keepUnderLimit();
  return fd_ >= 0;
}

void PosixSessionLog::writerLoop() {
  using Clock = std::chrono::steady_clock;
  auto lastSync = Clock::now();
  bool unsynced = false;
  bool live = true;  // false once the log has stopped
  std::vector<uint8_t> batch;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, std::chrono::milliseconds(options_.writeEveryMs),
                   [this] { return quit_ || !pending_.empty(); });
    batch.clear();
    batch.swap(pending_);
    const bool quitting = quit_;
    lock.unlock();
    if (live && !batch.empty()) {
      live = writeOut(batch);
      unsynced = live;
    }
    // Durable about once a second, so a power cut loses at most that much.
    if (live && unsynced && (quitting || Clock::now() - lastSync >= std::chrono::milliseconds(options_.syncEveryMs))) {
      ::fdatasync(fd_);
      lastSync = Clock::now();
      unsynced = false;
    }
    lock.lock();
    written_ += batch.size();
    wake_.notify_all();
    if (quitting && pending_.empty()) break;
  }
  lock.unlock();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace corvantis::platform
