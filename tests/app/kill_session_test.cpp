// The power goes at any instant: a demo session storing runs and laps,
// killed with SIGKILL at random instants, leaves an options file that loads
// and holds every run and lap stored at least a second before the kill.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kInstants = 20;
constexpr int kAtOnce = 5;  // children killed side by side
constexpr const char* kTickMicroseconds = "400";  // 250 times real time
constexpr const char* kRounds = "8";

// One stored run or lap as the child reported it, and when it came.
struct Stored {
  bool lap = false;
  uint32_t keyOrTrack = 0;
  uint32_t timeMs = 0;
  uint32_t stampOrStart = 0;
  Clock::time_point heard;
};

struct Session {
  pid_t pid = -1;
  int output = -1;
  std::string path;
  Clock::duration killAfter{};  // from the start of the session
  Clock::time_point killAt = Clock::time_point::max();
  std::string pending;
  std::vector<Stored> stored;
  bool killed = false;
};

Session start(const std::string& path, Clock::duration killAfter) {
  Session session;
  session.path = path;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return session;
  session.pid = ::fork();
  if (session.pid == 0) {
    ::dup2(pipeFds[1], 1);
    ::execl(CORV_KILL_CHILD, CORV_KILL_CHILD, path.c_str(), kTickMicroseconds, kRounds, nullptr);
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  session.output = pipeFds[0];
  session.killAfter = killAfter;
  return session;
}

void takeLines(Session& session, const char* bytes, size_t count) {
  session.pending.append(bytes, count);
  for (size_t end; (end = session.pending.find('\n')) != std::string::npos;) {
    std::istringstream line(session.pending.substr(0, end));
    session.pending.erase(0, end + 1);
    std::string kind;
    line >> kind;
    if (kind == "session") {
      session.killAt = Clock::now() + session.killAfter;
      continue;
    }
    Stored stored;
    line >> stored.keyOrTrack >> stored.timeMs >> stored.stampOrStart;
    stored.lap = kind == "lap";
    stored.heard = Clock::now();
    if (line) session.stored.push_back(stored);
  }
}

bool holds(const RunRecords& records, const LapDefinitions& laps, const Stored& s) {
  if (s.lap) {
    if (static_cast<int>(s.keyOrTrack) >= laps.count()) return false;
    const LapDefinition& track = laps.at(static_cast<int>(s.keyOrTrack));
    for (int i = 0; i < track.lapCount; ++i) {
      const RunRecord& lap = track.laps[static_cast<size_t>(i)];
      if (lap.timeMs == s.timeMs && lap.startTime == s.stampOrStart) return true;
    }
    return false;
  }
  for (const RecordSet& set : records.sets()) {
    if (set.key != s.keyOrTrack) continue;
    for (int i = 0; i < set.filledCount(); ++i) {
      if (set.runs[static_cast<size_t>(i)].timeMs == s.timeMs && set.runs[static_cast<size_t>(i)].stamp == s.stampOrStart) {
        return true;
      }
    }
  }
  return false;
}

TEST(KillAtRandomInstants, EveryRunAndLapStoredASecondBeforeIsInTheFile) {
  std::string pattern = (fs::temp_directory_path() / "corv-kill-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;
  // The file every session starts from, with the demo circuit in it.
  const std::string seeded = (folder / "seeded.bin").string();
  const std::string seed = std::string(CORV_KILL_CHILD) + " " + seeded + " 0 0";
  ASSERT_EQ(std::system(seed.c_str()), 0);
  std::mt19937 random(20261207);
  // Instants from the start of the session (the demo circuit made, the
  // drive under way) to several rounds in.
  std::uniform_int_distribution<int> killAfterMs(300, 4500);
  int checked = 0;
  int instantsWithRuns = 0;
  int instantsWithLaps = 0;
  for (int first = 0; first < kInstants; first += kAtOnce) {
    std::vector<Session> sessions;
    for (int k = first; k < first + kAtOnce && k < kInstants; ++k) {
      const std::string path = (folder / ("options-" + std::to_string(k) + ".bin")).string();
      fs::copy_file(seeded, path);
      sessions.push_back(start(path, std::chrono::milliseconds(killAfterMs(random))));
      ASSERT_GT(sessions.back().pid, 0);
    }
    // Read what each says until its instant comes, then kill it.
    for (size_t alive = sessions.size(); alive > 0;) {
      std::vector<pollfd> fds;
      for (const Session& s : sessions) fds.push_back({s.killed ? -1 : s.output, POLLIN, 0});
      ::poll(fds.data(), fds.size(), 5);
      for (size_t i = 0; i < sessions.size(); ++i) {
        Session& s = sessions[i];
        if (s.killed) continue;
        if ((fds[i].revents & (POLLIN | POLLHUP)) != 0) {
          char bytes[4096];
          const ssize_t n = ::read(s.output, bytes, sizeof bytes);
          if (n > 0) takeLines(s, bytes, static_cast<size_t>(n));
        }
        if (Clock::now() >= s.killAt) {
          ::kill(s.pid, SIGKILL);
          s.killAt = Clock::now();
          s.killed = true;
          --alive;
        }
      }
    }
    for (Session& s : sessions) {
      int status = 0;
      ASSERT_EQ(::waitpid(s.pid, &status, 0), s.pid);
      ::close(s.output);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the session ended before its instant";

      SCOPED_TRACE(s.path);
      platform::PosixFiles files;
      Settings settings;
      RunRecords records;
      LapDefinitions laps;
      const OptionsLoad load = loadOptions(files, s.path, settings, records, laps);
      ASSERT_EQ(load.outcome, OptionsLoad::Outcome::Loaded) << load.message;
      bool runs = false;
      bool lapsSeen = false;
      for (const Stored& stored : s.stored) {
        if (s.killAt - stored.heard < std::chrono::seconds(1)) continue;
        ++checked;
        (stored.lap ? lapsSeen : runs) = true;
        EXPECT_TRUE(holds(records, laps, stored))
            << (stored.lap ? "lap " : "run ") << stored.keyOrTrack << " " << stored.timeMs << " missing";
      }
      instantsWithRuns += runs ? 1 : 0;
      instantsWithLaps += lapsSeen ? 1 : 0;
    }
  }
  // Not an empty check: many instants fell after runs and laps were stored
  // (fewer in a slow build, whose rounds take longer).
  EXPECT_GE(instantsWithRuns, kInstants / 4);
  EXPECT_GE(instantsWithLaps, kInstants / 4);
  std::printf("checked %d stored runs and laps over %d instants (%d with runs, %d with laps)\n", checked, kInstants,
              instantsWithRuns, instantsWithLaps);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace corvantis
