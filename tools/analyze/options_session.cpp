#include "tools/analyze/options_session.h"

#include "store/options_file.h"

namespace corvantis::analyze {

namespace {

constexpr int kExitBadInput = 2;

bool readOptionsSession(platform::PosixFiles& files, const std::string& path, TimingSession& session,
                        std::ostream& err) {
  loadSettingsDefaults(session.settings);
  // Left behind by saves that were killed; those of a running save stay.
  files.removeStaleTemporaries(path);
  const platform::FileRead read = readOptionsFile(files, path);
  if (read.status == platform::FileRead::Status::TooLarge) {
    err << "corvantis-analyze: " << path << " is not a readable options file (" << optionsReadProblem(read)
        << "); it was left as it is\n";
    return false;
  }
  if (read.status == platform::FileRead::Status::Ok) {
    const DecodeReport report = decodeOptions(read.bytes, session.settings, session.records, session.laps);
    if (!report.ok()) {
      err << "corvantis-analyze: " << path << " is not a readable options file (" << report.problem
          << "); it was left as it is\n";
      return false;
    }
  } else if (read.status != platform::FileRead::Status::NotFound) {
    err << "corvantis-analyze: cannot read " << path << ": " << read.error << "\n";
    return false;
  }
  return true;
}

}  // namespace

int loadOptionsSession(platform::PosixFiles& files, const std::string& path, TimingSession& session,
                       std::ostream& err, platform::FileLock& lock) {
  // The lock file goes beside the options file, whose folder may not exist yet.
  if (const auto slash = path.find_last_of('/'); slash != std::string::npos && slash > 0) {
    files.createFolder(path.substr(0, slash));
  }
  const platform::FileLock::Result held =
      lock.acquire(path, platform::FileLock::Kind::Exclusive, "corvantis-analyze", kOptionsLockWaitMs);
  if (held.status == platform::FileLock::Status::Busy) {
    err << "corvantis-analyze: " << path << " is in use by " << held.holder << " (waited "
        << kOptionsLockWaitMs / 1000 << " seconds); nothing was timed into it. Run this again when that program "
        << "has ended.\n";
    return kExitOptionsInUse;
  }
  if (held.status == platform::FileLock::Status::Unavailable) {
    err << "corvantis-analyze: " << path << " could not be locked (" << held.error
        << "): another program may use it at the same time\n";
  }
  return readOptionsSession(files, path, session, err) ? 0 : kExitBadInput;
}

bool saveOptionsSession(platform::PosixFiles& files, const std::string& path, const TimingSession& session,
                        std::ostream& err) {
  const OptionsSave saved = saveOptions(files, path, session.settings, session.records, session.laps);
  if (!saved.ok) err << "corvantis-analyze: " << saved.message << "\n";
  return saved.ok;
}

}  // namespace corvantis::analyze
