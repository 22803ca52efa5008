#pragma once
// The --options FILE of the analyzer's modes: read whole before a pass and
// written back after it, with the same care as the program takes over the
// driver's file.
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/posix/files.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {

// Exit status of a mode whose results could not be saved: the runs were
// timed, but the file does not hold them.
inline constexpr int kExitSaveFailed = 3;
// Exit status of a mode whose options file another program held all the
// time the mode waited for it.
inline constexpr int kExitOptionsInUse = 4;
// How long a mode waits for a file another program holds: a reader or a
// short pass lets go by then; a running corvantis never does.
inline constexpr uint32_t kOptionsLockWaitMs = 5000;

// Takes the file for this pass (lock holds it until the mode ends; another
// program that holds it is waited for, up to kOptionsLockWaitMs), then
// reads path into session (settings defaults first); a missing file is a
// fresh start. Answers 0, or the exit status with the message written to
// err: kExitOptionsInUse when another program kept the file, 2 when the
// file is there but cannot be read whole or is damaged (writing back would
// replace the user's data, so the mode must stop and leave it as it is).
int loadOptionsSession(platform::PosixFiles& files, const std::string& path, TimingSession& session,
                       std::ostream& err, platform::FileLock& lock);

// Writes session to path; false, with the message written to err, when the
// save failed.
bool saveOptionsSession(platform::PosixFiles& files, const std::string& path, const TimingSession& session,
                        std::ostream& err);

}  // namespace corvantis::analyze
