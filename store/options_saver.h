#pragma once
// Saves the options file while the program runs, so that a crash or a power
// cut loses nothing that was stored. Each time the settings or the stores
// differ from what the last save started with, the whole file is encoded at
// once into a buffer (a snapshot: nothing of the stores is read afterwards)
// and written atomically. Written in the background, the write never holds
// up the screens, however large the file and slow the card; changes made
// while a save is under way go into the next one, started as soon as this
// one ends.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "store/lap_definitions.h"
#include "store/options_file.h"
#include "store/run_records.h"
#include "store/settings.h"

namespace corvantis {

class OptionsSaver {
 public:
  enum class Writing {
    OnCallersThread,  // the save is done before saveIfChanged returns
    Background,       // a thread of the saver's own writes it
  };

  OptionsSaver(platform::Files& files, std::string path, Writing writing);
  // Waits for a save under way.
  ~OptionsSaver();
  OptionsSaver(const OptionsSaver&) = delete;
  OptionsSaver& operator=(const OptionsSaver&) = delete;

  // The file holds exactly these (they were just loaded from it).
  void markSaved(const Settings& settings, const RunRecords& records, const LapDefinitions& laps);

  // Starts a save when these differ from what the last save started with
  // and no save is under way; answers whether one started. After a failed
  // save the same contents are not tried again: the next change is.
  bool saveIfChanged(const Settings& settings, const RunRecords& records, const LapDefinitions& laps);

  // The outcome of a save that has ended and was not taken yet.
  std::optional<OptionsSave> takeOutcome();

  // Waits until no save is under way.
  void waitUntilIdle();

 private:
  struct Contents {
    Settings settings;
    uint64_t recordsRevision = 0;
    uint64_t lapsRevision = 0;
  };
  static Contents contentsOf(const Settings& settings, const RunRecords& records, const LapDefinitions& laps);
  bool sameAsLastStarted(const Contents& contents) const;
  void writerLoop();

  platform::Files& files_;
  const std::string path_;
  const Writing writing_;
  std::optional<Contents> lastStarted_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<uint8_t> buffer_;  // the snapshot; the writer's while busy_
  bool busy_ = false;            // a save is under way
  bool quit_ = false;
  std::optional<OptionsSave> outcome_;
  std::thread writer_;
};

}  // namespace corvantis
