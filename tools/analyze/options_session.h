#pragma once
// The --options FILE of the analyzer's modes: read whole before a pass and
// written back after it, with the same care as the program takes over the
// driver's file.
#include <ostream>
#include <string>

#include "platform/posix/files.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {

// Exit status of a mode whose results could not be saved: the runs were
// timed, but the file does not hold them.
inline constexpr int kExitSaveFailed = 3;

// Reads path into session (settings defaults first); a missing file is a
// fresh start. False, with the message written to err, when the file is
// there but cannot be read whole or is damaged: writing back would replace
// the user's data, so the mode must stop and leave it as it is.
bool loadOptionsSession(platform::PosixFiles& files, const std::string& path, TimingSession& session,
                        std::ostream& err);

// Writes session to path; false, with the message written to err, when the
// save failed.
bool saveOptionsSession(platform::PosixFiles& files, const std::string& path, const TimingSession& session,
                        std::ostream& err);

}  // namespace corvantis::analyze
