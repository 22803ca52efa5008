#pragma once
// Where each track's reference lap and segment bests are kept: one small
// file per track in a folder beside the options file ("/x/options.bin"
// keeps them in "/x/options.reference-laps/"), each written atomically; a
// damaged file is refused and moved aside, a file whose lap was timed from
// another start/finish line is discarded. Until a folder is given (tests,
// the log analyzer) the store keeps them in memory for the run.
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "store/reference_lap.h"

namespace corvantis {

class ReferenceLapStore {
 public:
  static std::string folderBeside(const std::string& optionsPath);

  // Keeps the files in `folder` from now on (made when first written).
  void keepIn(platform::Files& files, std::string folder);
  // The file of a track; empty while the store keeps to memory.
  std::string pathFor(const LapDefinition& definition) const;

  struct Loaded {
    enum class Status {
      None,        // nothing kept for the track
      Kept,        // kept holds what was kept
      Discarded,   // it was timed from another start/finish line: removed
      Damaged,     // refused and moved aside (message says where and why)
      Unreadable,  // there, but could not be read (message says why); left as it is
    };
    Status status = Status::None;
    KeptLaps kept;
    std::string message;
  };
  Loaded load(const LapDefinition& definition);
  // load, changing nothing: a damaged file stays where it is and a lap from
  // another start/finish line is not removed (both read as nothing kept).
  Loaded peek(const LapDefinition& definition);

  // Replaces what is kept for the track. False, with the reason, when the
  // file could not be written; what was kept before stays.
  bool save(const LapDefinition& definition, const KeptLaps& kept, std::string& error);

  // Forgets what is kept for the track (it was deleted, or its start/finish
  // line moved).
  void discard(const LapDefinition& definition);

 private:
  Loaded load(const LapDefinition& definition, bool tidy);

  platform::Files* files_ = nullptr;
  std::string folder_;
  std::vector<std::pair<TrackKey, KeptLaps>> memory_;
};

}  // namespace corvantis
