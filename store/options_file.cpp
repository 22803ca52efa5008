#include "store/options_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "store/lap_name_text.h"

namespace corvantis {
namespace {

// ---- writing ---------------------------------------------------------------

// Writes the file into a buffer and hands each full buffer to `put`, so
// that a file of any size is encoded in a few hundred kilobytes while it is
// written. The total is checked against the size worked out beforehand.
class Writer {
 public:
  using Put = std::function<void(std::span<const uint8_t>)>;
  Writer(std::span<uint8_t> buffer, Put put) : buffer_(buffer), put_(std::move(put)) {}
  // A writer into exactly `out`, with nowhere to flush to.
  explicit Writer(std::span<uint8_t> out) : buffer_(out) {}
  void u32(uint32_t v) {
    uint8_t* p = at(4);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v) { u32(std::bit_cast<uint32_t>(v)); }
  void f64(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    u32(static_cast<uint32_t>(bits));
    u32(static_cast<uint32_t>(bits >> 32));
  }
  void u16(uint16_t v) {
    uint8_t* p = at(2);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
  template <size_t N>
  void raw(const std::array<uint8_t, N>& bytes) {
    std::memcpy(at(N), bytes.data(), N);
  }
  // Bytes as they stand, in as many pieces as the buffer needs.
  void bytes(std::span<const uint8_t> data) {
    while (!data.empty()) {
      if (pos_ == buffer_.size()) {
        if (!put_) std::abort();
        flush();
      }
      const size_t n = std::min(data.size(), buffer_.size() - pos_);
      std::memcpy(at(n), data.data(), n);
      data = data.subspan(n);
    }
  }
  // Hands over what is buffered.
  void flush() {
    if (pos_ > 0 && put_) put_(buffer_.first(pos_));
    flushed_ += pos_;
    pos_ = 0;
  }
  size_t written() const { return flushed_ + pos_; }

 private:
  uint8_t* at(size_t n) {
    if (n > buffer_.size() - pos_) {
      // Without a place to flush to, the buffer was sized from the same
      // stores: running past it would be a fault in this file, never a
      // matter of the data.
      if (!put_ || n > buffer_.size()) std::abort();
      flush();
    }
    uint8_t* p = buffer_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::span<uint8_t> buffer_;
  Put put_;
  size_t pos_ = 0;
  size_t flushed_ = 0;
};

void writeSettings(Writer& w, const Settings& s, int32_t recordSetCount, int32_t lapDefinitionCount) {
  w.i32(s.port);
  w.i32(s.baudIndex);
  w.f32(s.accelFrom);
  w.f32(s.accelTo);
  w.i32(recordSetCount);
  w.i32(s.units);
  w.f64(s.distance);
  w.u32(s.reserved32);
  w.u32(s.reserved36);
  w.i32(lapDefinitionCount);
  w.u32(s.reserved44);
}

// Entries in use: the prefix up to the first empty one. Only their traces
// go into the file, and for them the count written is the number of samples
// written, so the file always describes itself. Later entries keep their
// count as it stands (it belongs to their 20 bytes, not to any samples).
template <size_t N>
size_t filledPrefix(const std::array<RunRecord, N>& runs) {
  size_t n = 0;
  while (n < N && runs[n].timeMs != 0) ++n;
  return n;
}

template <size_t N>
void writeRunRecords(Writer& w, const std::array<RunRecord, N>& runs) {
  const size_t filled = filledPrefix(runs);
  for (size_t i = 0; i < N; ++i) {
    const RunRecord& run = runs[i];
    w.u32(run.timeMs);
    w.u32(run.stamp);
    w.i32(i < filled ? static_cast<int32_t>(run.trace.size()) : run.traceCount);
    w.u32(0);  // the trace slot holds no information in the file
    w.u32(run.startTime);
  }
}

// Whether a record's bytes in memory are its bytes in the file, so that a
// run of them is copied as it stands (little-endian, no padding, the
// fields in the file's order: checked where the records are read).
template <typename Record, size_t Size>
constexpr bool kStoredAsInMemory = std::endian::native == std::endian::little && sizeof(Record) == Size &&
                                   std::is_trivially_copyable_v<Record>;

template <size_t N>
void writeTraces(Writer& w, const std::array<RunRecord, N>& runs) {
  const size_t filled = filledPrefix(runs);
  for (size_t i = 0; i < filled; ++i) {
    const std::vector<TraceSample>& trace = runs[i].trace;
    if constexpr (kStoredAsInMemory<TraceSample, kTraceSampleFileBytes>) {
      w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(trace.data()),
                                       trace.size() * kTraceSampleFileBytes));
    } else {
      for (const TraceSample& sample : trace) {
        w.u32(sample.time);
        w.f32(sample.speed);
        w.f32(sample.distance);
      }
    }
  }
}

void writeTrackPoint(Writer& w, const TrackPoint& p) {
  w.f64(p.longitude);
  w.f64(p.latitude);
}

// The name as the file held it while it still reads the same, so a load
// and save keeps every byte; otherwise the name afresh, NUL-filled.
std::array<uint16_t, LapDefinition::kNameUnits> nameUnitsFor(const LapDefinition& d) {
  const auto& loaded = d.loadedNameUnits;
  std::array<char16_t, LapDefinition::kNameUnits> asChars{};
  for (size_t i = 0; i < loaded.size(); ++i) asChars[i] = static_cast<char16_t>(loaded[i]);
  if (utf16ToUtf8(asChars.data(), asChars.size()) == d.name) return loaded;
  std::array<uint16_t, LapDefinition::kNameUnits> units{};
  const std::u16string fresh = lapNameToUtf16(d.name);
  for (size_t i = 0; i < fresh.size() && i + 1 < units.size(); ++i) units[i] = fresh[i];
  return units;
}

void writeLapDefinition(Writer& w, const LapDefinition& d) {
  w.u32(0);  // the track slot holds no information in the file
  w.raw(d.padding);
  for (const TrackPoint& p : d.splitLines) writeTrackPoint(w, p);
  w.i32(d.trackPointCount());
  w.i32(d.splitLineCount);
  w.raw(d.reserved);
  writeRunRecords(w, d.laps);
  w.i32(d.lapCount);
  for (uint16_t unit : nameUnitsFor(d)) w.u16(unit);
  w.f64(d.minLongitude);
  w.f64(d.maxLongitude);
  w.f64(d.minLatitude);
  w.f64(d.maxLatitude);
}

// ---- reading ---------------------------------------------------------------

// Thrown by a read past the end of the image. Every count is checked
// against remaining() before its records are read, so this is a second
// line: whatever slips past those checks ends the load, never reads on.
struct EndOfData {};

// A cursor over the file image that never reads past its end.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t remaining() const { return bytes_.size() - pos_; }
  uint32_t u32() {
    const uint8_t* p = at(4);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  float f32() { return std::bit_cast<float>(u32()); }
  double f64() {
    const uint64_t low = u32();
    const uint64_t high = u32();
    return std::bit_cast<double>(low | (high << 32));
  }
  uint16_t u16() {
    const uint8_t* p = at(2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  template <size_t N>
  void raw(std::array<uint8_t, N>& out) {
    std::memcpy(out.data(), at(N), N);
  }
  void skip(size_t n) { at(n); }
  std::span<const uint8_t> take(size_t n) { return {at(n), n}; }

 private:
  const uint8_t* at(size_t n) {
    if (n > remaining()) throw EndOfData{};
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// Decodes fixed-size records straight from the file image as a container
// is filled from it (vector::assign): each element is made once, from its
// bytes, with no zero-filled stand-in before it.
template <typename Record, size_t Size, Record (*decode)(const uint8_t*)>
class RecordIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = Record;
  using difference_type = std::ptrdiff_t;
  using pointer = const Record*;
  using reference = Record;
  explicit RecordIterator(const uint8_t* at) : at_(at) {}
  Record operator*() const { return decode(at_); }
  RecordIterator& operator++() {
    at_ += Size;
    return *this;
  }
  RecordIterator operator++(int) {
    RecordIterator before = *this;
    at_ += Size;
    return before;
  }
  RecordIterator& operator--() {
    at_ -= Size;
    return *this;
  }
  RecordIterator& operator+=(difference_type n) {
    at_ += n * static_cast<difference_type>(Size);
    return *this;
  }
  difference_type operator-(const RecordIterator& other) const {
    return (at_ - other.at_) / static_cast<difference_type>(Size);
  }
  bool operator==(const RecordIterator& other) const { return at_ == other.at_; }
  bool operator!=(const RecordIterator& other) const { return at_ != other.at_; }

 private:
  const uint8_t* at_;
};

uint32_t littleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

TraceSample decodeTraceSample(const uint8_t* p) {
  TraceSample sample;
  sample.time = littleEndian32(p);
  sample.speed = std::bit_cast<float>(littleEndian32(p + 4));
  sample.distance = std::bit_cast<float>(littleEndian32(p + 8));
  return sample;
}

TrackPoint decodeTrackPoint(const uint8_t* p) {
  TrackPoint point;
  point.longitude = std::bit_cast<double>(littleEndian32(p) | uint64_t{littleEndian32(p + 4)} << 32);
  point.latitude = std::bit_cast<double>(littleEndian32(p + 8) | uint64_t{littleEndian32(p + 12)} << 32);
  return point;
}

// Fills out with count records of Size bytes each from the reader, which
// must hold them (checked by the caller with holds()).
template <typename Record, size_t Size, Record (*decode)(const uint8_t*)>
void readRecords(Reader& r, std::vector<Record>& out, size_t count) {
  const std::span<const uint8_t> bytes = r.take(count * Size);
  if constexpr (kStoredAsInMemory<Record, Size>) {
    // The record in memory is its bytes in the file (checked below for
    // each kind): one copy of the whole run.
    out.resize(count);
    if (count > 0) std::memcpy(out.data(), bytes.data(), bytes.size());
  } else {
    using Iterator = RecordIterator<Record, Size, decode>;
    out.assign(Iterator(bytes.data()), Iterator(bytes.data() + bytes.size()));
  }
}
static_assert(offsetof(TraceSample, time) == 0 && offsetof(TraceSample, speed) == 4 &&
              offsetof(TraceSample, distance) == 8);
static_assert(offsetof(TrackPoint, longitude) == 0 && offsetof(TrackPoint, latitude) == 8);

// True when count records of size bytes are still in the file. Counts come
// from the file and may be anything, so the test divides rather than
// multiplies (no product to overflow).
bool holds(const Reader& r, int64_t count, size_t size) {
  return count >= 0 && static_cast<uint64_t>(count) <= r.remaining() / size;
}

Settings readSettings(std::span<const uint8_t> stored) {
  // A shorter record fills only the start of the settings; the rest keeps
  // its defaults, byte for byte.
  std::array<uint8_t, kSettingsFileBytes> image{};
  Writer w(image);
  const Settings defaults;
  writeSettings(w, defaults, defaults.recordSetCount, defaults.lapDefinitionCount);
  std::memcpy(image.data(), stored.data(), stored.size());
  Reader r(image);
  Settings s;
  s.port = r.i32();
  s.baudIndex = r.i32();
  s.accelFrom = r.f32();
  s.accelTo = r.f32();
  s.recordSetCount = r.i32();
  s.units = r.i32();
  s.distance = r.f64();
  s.reserved32 = r.u32();
  s.reserved36 = r.u32();
  s.lapDefinitionCount = r.i32();
  s.reserved44 = r.u32();
  return s;
}

template <size_t N>
void readRunRecords(Reader& r, std::array<RunRecord, N>& runs) {
  for (RunRecord& run : runs) {
    run.timeMs = r.u32();
    run.stamp = r.u32();
    run.traceCount = r.i32();
    r.skip(4);  // the trace slot: meaningless in the file
    run.startTime = r.u32();
  }
}

// Reads the traces of the entries in use. Returns a problem text, or "".
template <size_t N>
std::string readTraces(Reader& r, std::array<RunRecord, N>& runs) {
  const size_t filled = filledPrefix(runs);
  for (size_t i = 0; i < filled; ++i) {
    RunRecord& run = runs[i];
    if (run.traceCount == 0) continue;
    if (run.traceCount < 0) return "a trace has a negative number of samples";
    if (!holds(r, run.traceCount, kTraceSampleFileBytes)) return "a trace runs past the end of the file";
    readRecords<TraceSample, kTraceSampleFileBytes, decodeTraceSample>(r, run.trace,
                                                                      static_cast<size_t>(run.traceCount));
  }
  return {};
}

TrackPoint readTrackPoint(Reader& r) {
  TrackPoint p;
  p.longitude = r.f64();
  p.latitude = r.f64();
  return p;
}

// The fixed 2208 bytes of one definition; its track points come later.
// Returns the track point count the record announces.
int32_t readLapDefinition(Reader& r, LapDefinition& d) {
  r.skip(4);  // the track slot: meaningless in the file
  r.raw(d.padding);
  for (TrackPoint& p : d.splitLines) p = readTrackPoint(r);
  const int32_t trackPointCount = r.i32();
  d.splitLineCount = r.i32();
  r.raw(d.reserved);
  readRunRecords(r, d.laps);
  d.lapCount = r.i32();
  std::array<char16_t, LapDefinition::kNameUnits> name{};
  for (size_t i = 0; i < name.size(); ++i) {
    d.loadedNameUnits[i] = r.u16();
    name[i] = static_cast<char16_t>(d.loadedNameUnits[i]);
  }
  d.name = utf16ToUtf8(name.data(), name.size());
  d.minLongitude = r.f64();
  d.maxLongitude = r.f64();
  d.minLatitude = r.f64();
  d.maxLatitude = r.f64();
  return trackPointCount;
}

// Anything off the earth in a track can only be damage (a new track keeps
// none), and would send the map and the crossing lines far off.
bool soundPosition(double longitude, double latitude) { return onTheEarth(TrackPoint{longitude, latitude}); }

// Characters of UTF-8 text (an undecodable unit counts as the one U+FFFD it became).
size_t characterCount(const std::string& utf8) {
  size_t n = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0u) != 0x80u) ++n;
  }
  return n;
}

// What is impossible in the fixed part of a definition the file holds, or
// nullptr. The counts themselves are checked by the caller.
const char* lapDefinitionProblem(const LapDefinition& d) {
  // Laps are stored one after the other from the first entry, so the laps
  // counted are all there. (Entries after them may hold old laps: a count
  // lowered by a deletion or a moved start line leaves them behind.)
  if (d.lapCount > static_cast<int32_t>(filledPrefix(d.laps))) {
    return "a lap track counts more laps than it holds";
  }
  const auto& units = d.loadedNameUnits;
  if (std::find(units.begin(), units.end(), uint16_t{0}) == units.end()) {
    return "a lap track's name has no end";
  }
  if (characterCount(d.name) > kLapNameMaxChars) return "a lap track's name is longer than 31 characters";
  // Every anchor, also those past the count: a new definition starts them
  // at zero and the editor only ever puts track points there.
  for (const TrackPoint& anchor : d.splitLines) {
    if (!soundPosition(anchor.longitude, anchor.latitude)) return "a lap track has a split line off the earth";
  }
  if (!soundPosition(d.minLongitude, d.minLatitude) || !soundPosition(d.maxLongitude, d.maxLatitude) ||
      !(d.minLongitude <= d.maxLongitude) || !(d.minLatitude <= d.maxLatitude)) {
    return "a lap track has an impossible map box";
  }
  return nullptr;
}

// What is impossible in a definition's track points, or nullptr.
const char* trackProblem(const LapDefinition& d) {
  for (const TrackPoint& p : d.track) {
    if (!soundPosition(p.longitude, p.latitude)) return "a lap track has a point off the earth";
    // The box is worked out from the points when the track is made, and
    // editing only reorders them: a point outside it is a damaged number.
    if (p.longitude < d.minLongitude || p.longitude > d.maxLongitude || p.latitude < d.minLatitude ||
        p.latitude > d.maxLatitude) {
      return "a lap track has a point outside its map box";
    }
  }
  return nullptr;
}

DecodeReport decodeInto(std::span<const uint8_t> bytes, Settings& settings,
                        std::vector<RecordSet>& sets, std::vector<LapDefinition>& definitions) {
  DecodeReport report;
  const auto fail = [&](const char* problem) {
    report.problem = problem;
    return report;
  };
  Reader r(bytes);
  if (r.remaining() < 4) return fail("the file ends before the settings");
  const uint32_t settingsSize = r.u32();
  if (settingsSize > kSettingsFileBytes) return fail("the settings record is larger than 48 bytes");
  if (r.remaining() < settingsSize) return fail("the file ends inside the settings");
  settings = readSettings(r.take(settingsSize));

  if (!holds(r, settings.recordSetCount, kRecordSetFileBytes)) {
    return fail(settings.recordSetCount < 0 ? "the number of record sets is negative"
                                            : "the file ends inside the record sets");
  }
  sets.resize(static_cast<size_t>(settings.recordSetCount));
  for (RecordSet& set : sets) {
    set.key = r.u32();
    readRunRecords(r, set.runs);
  }
  for (RecordSet& set : sets) {
    if (std::string problem = readTraces(r, set.runs); !problem.empty()) {
      report.problem = std::move(problem);
      return report;
    }
  }

  if (!holds(r, settings.lapDefinitionCount, kLapDefinitionFileBytes)) {
    return fail(settings.lapDefinitionCount < 0 ? "the number of lap tracks is negative"
                                                : "the file ends inside the lap tracks");
  }
  definitions.resize(static_cast<size_t>(settings.lapDefinitionCount));
  std::vector<int32_t> trackPointCounts;
  for (LapDefinition& d : definitions) {
    trackPointCounts.push_back(readLapDefinition(r, d));
    // The lap parts index the split lines and laps by these counts.
    if (d.splitLineCount < 0 || d.splitLineCount > LapDefinition::kMaxSplitLines) {
      return fail("a lap track has an impossible number of split lines");
    }
    if (d.lapCount < 0 || d.lapCount > LapDefinition::kMaxLaps) {
      return fail("a lap track has an impossible number of laps");
    }
    if (const char* problem = lapDefinitionProblem(d)) return fail(problem);
  }
  for (size_t k = 0; k < definitions.size(); ++k) {
    LapDefinition& d = definitions[k];
    const int32_t points = trackPointCounts[k];
    if (!holds(r, points, kTrackPointFileBytes)) {
      return fail(points < 0 ? "a lap track has a negative number of points"
                             : "a lap track runs past the end of the file");
    }
    readRecords<TrackPoint, kTrackPointFileBytes, decodeTrackPoint>(r, d.track, static_cast<size_t>(points));
    if (const char* problem = trackProblem(d)) return fail(problem);
    if (std::string problem = readTraces(r, d.laps); !problem.empty()) {
      report.problem = std::move(problem);
      return report;
    }
  }
  // The data must end exactly where the file does. Bytes left over mean a
  // count was damaged (a smaller count reads as a smaller, sound-looking
  // file): loading it would drop the rest at the next save.
  report.trailingBytes = r.remaining();
  if (report.trailingBytes != 0) {
    report.problem = "it holds " + std::to_string(report.trailingBytes) + " bytes after the end of its data";
  }
  return report;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void startAfresh(Settings& settings, RunRecords& records, LapDefinitions& laps) {
  loadSettingsDefaults(settings);
  records.sets().clear();
  laps.definitions().clear();
  records.noteChanged();
  laps.noteChanged();
}

std::string sizeText(uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace

uint64_t largestOptionsFileBytes(std::span<const uint8_t> head) {
  // Too short to tell: the decoder says what is wrong with it.
  if (head.size() < 4) return kOptionsHeadBytes;
  Reader r(head);
  const uint32_t settingsSize = r.u32();
  if (settingsSize > kSettingsFileBytes) return 4 + kSettingsFileBytes;
  const size_t stored = std::min<size_t>(settingsSize, r.remaining());
  const Settings settings = readSettings(r.take(stored));
  if (settings.recordSetCount < 0 || settings.lapDefinitionCount < 0) return 4 + uint64_t{settingsSize};
  // Every trace is one capture of the fix history and every track one
  // recording, so neither outgrows the history.
  constexpr uint64_t kLongestTrace = FixHistory::kCapacity * uint64_t{kTraceSampleFileBytes};
  constexpr uint64_t kLargestSet = kRecordSetFileBytes + RecordSet::kSlots * kLongestTrace;
  constexpr uint64_t kLargestLapDefinition = kLapDefinitionFileBytes +
                                             FixHistory::kCapacity * uint64_t{kTrackPointFileBytes} +
                                             LapDefinition::kMaxLaps * kLongestTrace;
  return 4 + uint64_t{settingsSize} + static_cast<uint64_t>(settings.recordSetCount) * kLargestSet +
         static_cast<uint64_t>(settings.lapDefinitionCount) * kLargestLapDefinition;
}

platform::FileRead readOptionsFile(platform::Files& files, const std::string& path) {
  return files.readWithin(path, platform::SizeLimit{kOptionsHeadBytes, largestOptionsFileBytes});
}

std::string optionsReadProblem(const platform::FileRead& read) {
  if (read.status == platform::FileRead::Status::TooLarge) {
    return "it is " + sizeText(read.size) + ", more than the " + sizeText(read.limit) +
           " its counts can ever need";
  }
  return read.error;
}

std::string optionsPathFor(const char* xdgDataHome, const char* home) {
  // The base directory convention ignores a relative XDG_DATA_HOME.
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
    return std::string(xdgDataHome) + "/corvantis/options.bin";
  }
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/corvantis/options.bin";
  return "options.bin";
}

std::string defaultOptionsPath() { return optionsPathFor(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")); }

std::string defaultSessionsFolder() {
  const std::string folder = folderOf(defaultOptionsPath());
  return folder.empty() ? "sessions" : folder + "/sessions";
}

void keepCountsInStep(Settings& settings, const RunRecords& records, const LapDefinitions& laps) {
  settings.recordSetCount = static_cast<int32_t>(records.sets().size());
  settings.lapDefinitionCount = laps.count();
}

namespace {

// The exact size of the file the stores make.
size_t encodedSize(const RunRecords& records, const LapDefinitions& laps) {
  const auto& sets = records.sets();
  const auto& definitions = laps.definitions();
  size_t size = 4 + kSettingsFileBytes + sets.size() * kRecordSetFileBytes +
                definitions.size() * kLapDefinitionFileBytes;
  for (const RecordSet& set : sets) {
    for (size_t i = 0; i < filledPrefix(set.runs); ++i) size += set.runs[i].trace.size() * kTraceSampleFileBytes;
  }
  for (const LapDefinition& d : definitions) {
    size += d.track.size() * kTrackPointFileBytes;
    for (size_t i = 0; i < filledPrefix(d.laps); ++i) size += d.laps[i].trace.size() * kTraceSampleFileBytes;
  }
  return size;
}

void encodeInto(Writer& w, const Settings& settings, const RunRecords& records, const LapDefinitions& laps) {
  const auto& sets = records.sets();
  const auto& definitions = laps.definitions();
  w.u32(kSettingsFileBytes);
  writeSettings(w, settings, static_cast<int32_t>(sets.size()), static_cast<int32_t>(definitions.size()));
  for (const RecordSet& set : sets) {
    w.u32(set.key);
    writeRunRecords(w, set.runs);
  }
  for (const RecordSet& set : sets) writeTraces(w, set.runs);
  for (const LapDefinition& d : definitions) writeLapDefinition(w, d);
  for (const LapDefinition& d : definitions) {
    if constexpr (kStoredAsInMemory<TrackPoint, kTrackPointFileBytes>) {
      w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(d.track.data()),
                                       d.track.size() * kTrackPointFileBytes));
    } else {
      for (const TrackPoint& p : d.track) writeTrackPoint(w, p);
    }
    writeTraces(w, d.laps);
  }
}

// Pieces the file is written in: large enough that a write costs little
// per byte, small enough to stay in the cache.
constexpr size_t kEncodeChunkBytes = 256 * 1024;

}  // namespace

std::vector<uint8_t> encodeOptions(const Settings& settings, const RunRecords& records,
                                   const LapDefinitions& laps) {
  std::vector<uint8_t> out;
  encodeOptionsInto(out, settings, records, laps);
  return out;
}

void encodeOptionsInto(std::vector<uint8_t>& out, const Settings& settings, const RunRecords& records,
                       const LapDefinitions& laps) {
  out.resize(encodedSize(records, laps));
  Writer w(out);
  encodeInto(w, settings, records, laps);
  if (w.written() != out.size()) std::abort();
}

DecodeReport decodeOptions(std::span<const uint8_t> bytes, Settings& settings, RunRecords& records,
                           LapDefinitions& laps) {
  Settings newSettings;
  std::vector<RecordSet> sets;
  std::vector<LapDefinition> definitions;
  DecodeReport report;
  try {
    report = decodeInto(bytes, newSettings, sets, definitions);
  } catch (const EndOfData&) {
    report.problem = "the file ends early";
  } catch (const std::bad_alloc&) {
    report.problem = "there is not enough memory to hold it";
    report.outOfMemory = true;
  }
  if (!report.ok()) return report;
  settings = newSettings;
  records.sets() = std::move(sets);
  laps.definitions() = std::move(definitions);
  records.noteChanged();
  laps.noteChanged();
  keepCountsInStep(settings, records, laps);
  return report;
}

OptionsLoad loadOptions(platform::Files& files, const std::string& path, Settings& settings,
                        RunRecords& records, LapDefinitions& laps) {
  OptionsLoad load;
  files.removeStaleTemporaries(path);
  // Decoded where it was read: the file is never copied into a zero-filled
  // buffer first.
  DecodeReport report;
  platform::FileRead read =
      files.readWithinInto(path, platform::SizeLimit{kOptionsHeadBytes, largestOptionsFileBytes},
                           [&](std::span<const uint8_t> bytes) { report = decodeOptions(bytes, settings, records, laps); });
  using Status = platform::FileRead::Status;
  if (read.status == Status::NotFound) {
    load.outcome = OptionsLoad::Outcome::NoFile;
    return load;
  }
  std::string problem;
  if (read.status == Status::Ok) {
    if (report.ok()) {
      load.outcome = OptionsLoad::Outcome::Loaded;
      return load;
    }
    load.outcome = report.outOfMemory ? OptionsLoad::Outcome::Unreadable : OptionsLoad::Outcome::Damaged;
    problem = report.problem;
  } else if (read.status == Status::TooLarge) {
    load.outcome = OptionsLoad::Outcome::Damaged;
    problem = optionsReadProblem(read);
  } else {
    load.outcome = OptionsLoad::Outcome::Unreadable;
    problem = read.error;
  }

  // Nothing of the file is kept in memory.
  startAfresh(settings, records, laps);
  load.message = "The options file " + path + " could not be read (" + problem + "). ";
  const std::string notSaved = "Corvantis starts with default settings and will not save this session.";
  const auto keepInPlace = [&](const std::string& why) {
    // The file stays where it is and nothing replaces it: what keeps it from
    // being read (a permission, a full memory, a device in its place) may
    // pass, and the user's data with it must not be split over two files.
    load.saveAtExit = false;
    load.message += why + notSaved;
    load.exitMessage = "The runs, laps and settings of this session were not saved: the options file " + path +
                       " could not be read at start (" + problem + ") and was left as it is.";
  };
  if (load.outcome == OptionsLoad::Outcome::Unreadable) {
    keepInPlace("It was left as it is. ");
    return load;
  }
  // A damaged file goes aside, so that the save at exit cannot replace it
  // and the user can look at it.
  const platform::FileResult moved = files.moveAside(path, "damaged");
  if (moved.ok) {
    load.movedTo = moved.path;
    load.message += "It was kept as " + moved.path + " and Corvantis starts with default settings.";
  } else {
    keepInPlace("It could not be moved aside (" + moved.error + ") and was left as it is. ");
  }
  return load;
}

namespace {

// "Unchanged" only where there was a file to be left unchanged.
OptionsSave failedSave(const std::string& path, const std::string& reason, bool fileWasThere) {
  OptionsSave save;
  save.message = "The runs, laps and settings of this session could not be saved to " + path + " (" + reason + ").";
  if (fileWasThere) save.message += " The file there before is unchanged.";
  return save;
}

// The folder of path, made when missing; the reason when it cannot be.
std::string makeFolderFor(platform::Files& files, const std::string& path) {
  if (const std::string folder = folderOf(path); !folder.empty()) {
    const platform::FileResult created = files.createFolder(folder);
    if (!created.ok) return created.error;
  }
  return {};
}

}  // namespace

OptionsSave saveEncodedOptions(platform::Files& files, const std::string& path, std::span<const uint8_t> bytes) {
  if (const std::string problem = makeFolderFor(files, path); !problem.empty()) return failedSave(path, problem, false);
  const platform::FileResult written = files.writeAtomically(path, bytes);
  if (!written.ok) return failedSave(path, written.error, written.existed);
  OptionsSave save;
  save.ok = true;
  return save;
}

OptionsSave saveOptions(platform::Files& files, const std::string& path, const Settings& settings,
                        const RunRecords& records, const LapDefinitions& laps) {
  OptionsSave save;
  const auto failed = [&](const std::string& reason, bool fileWasThere) { return failedSave(path, reason, fileWasThere); };
  if (const std::string problem = makeFolderFor(files, path); !problem.empty()) return failed(problem, false);
  // Encoded piece by piece as it is written: no copy of the whole file is
  // ever held in memory.
  platform::FileResult written;
  try {
    const size_t expected = encodedSize(records, laps);
    std::vector<uint8_t> chunk(std::min(expected, kEncodeChunkBytes));
    written = files.writeAtomicallyFrom(path, [&](const platform::Files::PutPiece& put) {
      bool writing = true;
      Writer w(chunk, [&](std::span<const uint8_t> piece) { writing = writing && put(piece); });
      encodeInto(w, settings, records, laps);
      w.flush();
      // The size was worked out from the same stores.
      if (w.written() != expected) std::abort();
    });
  } catch (const std::bad_alloc&) {
    return failed("not enough memory", false);
  }
  if (!written.ok) return failed(written.error, written.existed);
  save.ok = true;
  return save;
}

}  // namespace corvantis
