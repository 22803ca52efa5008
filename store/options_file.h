#pragma once
// options.bin: the settings, every record set with its traces and every lap
// definition with its track and lap traces, in one little-endian file with
// no header or checksum. Read once at start; written whole, atomically, each
// time something it keeps changes and again at exit.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "store/lap_definitions.h"
#include "platform/files.h"
#include "store/run_records.h"
#include "store/settings.h"

namespace corvantis {

// Sizes of the file's fixed records, in bytes.
inline constexpr uint32_t kSettingsFileBytes = 48;
inline constexpr size_t kRecordSetFileBytes = 204;
inline constexpr size_t kRunRecordFileBytes = 20;
inline constexpr size_t kTraceSampleFileBytes = 12;
inline constexpr size_t kLapDefinitionFileBytes = 2208;
inline constexpr size_t kTrackPointFileBytes = 16;
// The settings size and the settings: enough to tell how large the file may be.
inline constexpr size_t kOptionsHeadBytes = 4 + kSettingsFileBytes;

// $XDG_DATA_HOME/corvantis/options.bin, or ~/.local/share/corvantis/options.bin
// when XDG_DATA_HOME is unset, empty or relative; "options.bin" in the
// working folder when neither is usable.
std::string optionsPathFor(const char* xdgDataHome, const char* home);
// optionsPathFor with this process's environment.
std::string defaultOptionsPath();
// Where the raw logs of sessions with a receiver are kept: "sessions" in
// the folder of the default options file.
std::string defaultSessionsFolder();

// Sets the two counts of settings to the sizes of the stores, which they
// describe in the file.
void keepCountsInStep(Settings& settings, const RunRecords& records, const LapDefinitions& laps);

// The whole file. The counts written are those of the stores, whatever
// settings holds; the trace and track slots are written as 0.
std::vector<uint8_t> encodeOptions(const Settings& settings, const RunRecords& records,
                                   const LapDefinitions& laps);
// encodeOptions into out, whose memory is reused: a buffer that already
// held the file needs no new pages for it.
void encodeOptionsInto(std::vector<uint8_t>& out, const Settings& settings, const RunRecords& records,
                       const LapDefinitions& laps);

// Reads a whole file image. All or nothing: on success the three are
// replaced (with settings' counts in step with the stores) and problem is
// empty; otherwise they are untouched and problem says what is wrong. The
// data must end exactly at the end of the image: bytes after it (counted in
// trailingBytes) make the image damaged, as a damaged count would otherwise
// load as a smaller file.
struct DecodeReport {
  std::string problem;
  size_t trailingBytes = 0;
  bool outOfMemory = false;  // the file may be sound; there was no room for it
  bool ok() const { return problem.empty(); }
};
DecodeReport decodeOptions(std::span<const uint8_t> bytes, Settings& settings, RunRecords& records,
                           LapDefinitions& laps);

// The largest file that the counts in its first bytes (head, up to
// kOptionsHeadBytes of them) allow: every trace and track at the most the
// fix history holds. A larger file is damaged without being read.
uint64_t largestOptionsFileBytes(std::span<const uint8_t> head);

// Reads the file at path whole, unless it is larger than its counts allow
// (TooLarge, not read) or is no regular file (NotAFile, never opened).
platform::FileRead readOptionsFile(platform::Files& files, const std::string& path);
// Why a read of readOptionsFile did not give the file, for a message.
std::string optionsReadProblem(const platform::FileRead& read);

struct OptionsLoad {
  enum class Outcome {
    Loaded,      // the file was read whole into the settings and stores
    NoFile,      // no file yet (first start): nothing touched
    Damaged,     // the file is damaged: moved aside; defaults and empty stores
    Unreadable,  // the file could not be read (permission, no regular file, no
                 // memory): left in place; defaults and empty stores
  };
  Outcome outcome = Outcome::NoFile;
  std::string movedTo;   // Damaged: the file's new name
  std::string message;   // Damaged/Unreadable: the text to show the user
  // False when the file was left in place: the session must not save over
  // it. exitMessage then says so again when the program ends.
  bool saveAtExit = true;
  std::string exitMessage;
  bool loaded() const { return outcome == Outcome::Loaded; }
};

// Loads path into settings and the stores, after removing the temporary
// files of saves killed part-way. It does not open the serial port: the
// caller does that after a load, as it does with the defaults. A damaged
// file is moved aside (so that the next save cannot replace it); a file that
// cannot be read is left where it is and the session is not to be saved.
// Nothing of either is loaded.
OptionsLoad loadOptions(platform::Files& files, const std::string& path, Settings& settings,
                        RunRecords& records, LapDefinitions& laps);

struct OptionsSave {
  bool ok = false;
  std::string message;  // when !ok: the text to show the user
};

// A file already encoded (encodeOptions), written as saveOptions writes.
OptionsSave saveEncodedOptions(platform::Files& files, const std::string& path, std::span<const uint8_t> bytes);

// Writes the whole file atomically, creating its folder if need be. On
// failure the file that was there stays as it was.
OptionsSave saveOptions(platform::Files& files, const std::string& path, const Settings& settings,
                        const RunRecords& records, const LapDefinitions& laps);

}  // namespace corvantis
