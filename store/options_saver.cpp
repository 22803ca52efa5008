#include "store/options_saver.h"

#include <new>
#include <utility>

namespace corvantis {

OptionsSaver::OptionsSaver(platform::Files& files, std::string path, Writing writing)
    : files_(files), path_(std::move(path)), writing_(writing) {
  if (writing_ == Writing::Background) writer_ = std::thread([this] { writerLoop(); });
}

OptionsSaver::~OptionsSaver() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

OptionsSaver::Contents OptionsSaver::contentsOf(const Settings& settings, const RunRecords& records,
                                                const LapDefinitions& laps) {
  return Contents{settings, records.revision(), laps.revision()};
}

bool OptionsSaver::sameAsLastStarted(const Contents& contents) const {
  return lastStarted_ && sameStoredSettings(lastStarted_->settings, contents.settings) &&
         lastStarted_->recordsRevision == contents.recordsRevision &&
         lastStarted_->lapsRevision == contents.lapsRevision;
}

void OptionsSaver::markSaved(const Settings& settings, const RunRecords& records, const LapDefinitions& laps) {
  lastStarted_ = contentsOf(settings, records, laps);
}

bool OptionsSaver::saveIfChanged(const Settings& settings, const RunRecords& records, const LapDefinitions& laps) {
  const Contents contents = contentsOf(settings, records, laps);
  if (sameAsLastStarted(contents)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  // The change waits for the save under way, which holds the buffer; the
  // caller asks again (every tick, every change) and it goes next.
  if (busy_) return false;
  try {
    encodeOptionsInto(buffer_, settings, records, laps);
  } catch (const std::bad_alloc&) {
    // Like any failed save: told, and tried again with the next change.
    buffer_ = {};
    lastStarted_ = contents;
    outcome_ = OptionsSave{false, "The runs, laps and settings of this session could not be saved to " + path_ +
                                      " (not enough memory). The file there before is unchanged."};
    return false;
  }
  lastStarted_ = contents;
  if (writing_ == Writing::OnCallersThread) {
    outcome_ = saveEncodedOptions(files_, path_, buffer_);
    return true;
  }
  busy_ = true;
  lock.unlock();
  wake_.notify_all();
  return true;
}

std::optional<OptionsSave> OptionsSaver::takeOutcome() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(outcome_, std::nullopt);
}

void OptionsSaver::waitUntilIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return !busy_; });
}

void OptionsSaver::writerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return busy_ || quit_; });
    // A save under way is finished before the saver goes.
    if (!busy_) return;
    lock.unlock();
    // The buffer is the writer's alone while busy_ is set.
    OptionsSave outcome = saveEncodedOptions(files_, path_, buffer_);
    lock.lock();
    outcome_ = std::move(outcome);
    busy_ = false;
    wake_.notify_all();
  }
}

}  // namespace corvantis
