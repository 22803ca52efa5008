#include "tools/analyze/options_session.h"

#include "store/options_file.h"

namespace corvantis::analyze {

bool loadOptionsSession(platform::PosixFiles& files, const std::string& path, TimingSession& session,
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

bool saveOptionsSession(platform::PosixFiles& files, const std::string& path, const TimingSession& session,
                        std::ostream& err) {
  const OptionsSave saved = saveOptions(files, path, session.settings, session.records, session.laps);
  if (!saved.ok) err << "corvantis-analyze: " << saved.message << "\n";
  return saved.ok;
}

}  // namespace corvantis::analyze
