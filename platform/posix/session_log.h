#pragma once
// Session logs on the disk: one file per session in a folder of their own
// ($XDG_DATA_HOME/corvantis/sessions), named by the UTC time the session
// started ("2026-12-07_142501Z.nmea"), holding the receiver's bytes exactly
// as they came. A thread of the log's own writes them, so the screens never
// wait for the disk: append() only copies into a bounded buffer, and the
// writer takes what is there at least every half second and makes it
// durable (fdatasync) about once a second. The logs together are kept under
// a limit by removing the oldest; a full disk stops the log with one
// message, and the session goes on.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/session_log.h"

namespace corvantis::platform {

inline constexpr uint64_t kDefaultSessionLogLimitBytes = uint64_t{2} << 30;  // 2 GiB

struct SessionLogOptions {
  std::string folder;                                   // made when missing
  std::time_t startUtc = 0;                             // names the file
  uint64_t limitBytes = kDefaultSessionLogLimitBytes;   // every session log in folder together
  std::size_t bufferBytes = std::size_t{4} << 20;       // received and not written yet, at most
  uint32_t writeEveryMs = 500;                          // the writer's longest sleep
  uint32_t syncEveryMs = 1000;                          // fdatasync at most this often
};

// "YYYY-MM-DD_HHMMSSZ.nmea" of a UTC time.
std::string sessionLogName(std::time_t utc);
// Whether a file name is one of ours (and so may be removed to keep the
// limit): the form above, with an optional "-N" before ".nmea".
bool isSessionLogName(const std::string& name);
// "2G", "500M", "64k", "1000000": bytes; false for anything else or zero.
bool parseByteSize(const std::string& text, uint64_t& bytes);

class PosixSessionLog final : public SessionLog {
 public:
  explicit PosixSessionLog(SessionLogOptions options);
  // Writes what is buffered, then closes the file.
  ~PosixSessionLog() override;
  PosixSessionLog(const PosixSessionLog&) = delete;
  PosixSessionLog& operator=(const PosixSessionLog&) = delete;

  void append(std::span<const uint8_t> bytes) override;
  std::string takeProblem() override;

  // Waits until every byte appended so far is written (or the log stopped).
  void flush();
  // The file, once the first bytes made it; empty before.
  std::string path();
  bool stopped();

 private:
  void writerLoop();
  // The writer's side; each answers false once the log has stopped.
  bool openFile();
  bool writeOut(const std::vector<uint8_t>& bytes);
  void keepUnderLimit();
  void stop(const std::string& problem);

  const SessionLogOptions options_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<uint8_t> pending_;  // appended, not taken by the writer yet
  uint64_t appended_ = 0;         // bytes ever appended (dropped ones left out)
  uint64_t written_ = 0;          // bytes the writer has dealt with
  uint64_t dropped_ = 0;
  bool droppedTold_ = false;
  bool stopped_ = false;
  bool quit_ = false;
  std::vector<std::string> problems_;
  std::string path_;

  // The writer's own.
  int fd_ = -1;
  uint64_t fileBytes_ = 0;
  uint64_t othersBytes_ = 0;  // the other session logs in the folder
  std::thread writer_;
};

}  // namespace corvantis::platform
