#include "store/remembered_track.h"

#include <charconv>
#include <filesystem>
#include <string_view>

namespace corvantis {
namespace {

constexpr std::string_view kHeader = "corvantis active track 1";
// A name holds at most 33 UTF-16 units: 132 bytes of UTF-8 at the very most.
constexpr size_t kLargestFile = 1024;

RememberedTrack::Identity identityOf(const LapDefinition& definition, int index) {
  RememberedTrack::Identity identity;
  identity.index = index;
  identity.pointCount = definition.trackPointCount();
  identity.box = {definition.minLongitude, definition.maxLongitude, definition.minLatitude, definition.maxLatitude};
  identity.name = definition.name;
  return identity;
}

// The shortest text that reads back as exactly the same double, whatever the
// process's locale.
std::string exactText(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("nan");
}

template <typename Number>
bool readNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Splits "key value" lines; false when the line has another key.
bool field(std::string_view line, std::string_view key, std::string_view& value) {
  if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ') return false;
  value = line.substr(key.size() + 1);
  return true;
}

}  // namespace

std::string RememberedTrack::pathBeside(const std::string& optionsPath) {
  if (optionsPath.empty()) return {};
  std::filesystem::path path(optionsPath);
  return (path.parent_path() / (path.stem().string() + ".active-track")).string();
}

void RememberedTrack::keepIn(platform::Files& files, std::string path) {
  chosen_.reset();
  if (path.empty()) return;  // no options file named: memory only
  files_ = &files;
  path_ = std::move(path);
  const platform::FileRead read = files.readWithin(path_, platform::SizeLimit{0, [](auto) { return kLargestFile; }});
  if (read.status == platform::FileRead::Status::Ok) chosen_ = decode(read.bytes);
}

int RememberedTrack::find(const LapDefinitions& definitions) const {
  if (!chosen_) return -1;
  int sameName = -1;
  int first = -1;
  for (int i = 0; i < definitions.count(); ++i) {
    const Identity candidate = identityOf(definitions.at(i), i);
    if (candidate.pointCount != chosen_->pointCount || candidate.box != chosen_->box) continue;
    if (i == chosen_->index) return i;
    if (sameName < 0 && candidate.name == chosen_->name) sameName = i;
    if (first < 0) first = i;
  }
  return sameName >= 0 ? sameName : first;
}

bool RememberedTrack::remember(const LapDefinitions& definitions, int index) {
  if (index < 0 || index >= definitions.count()) return true;
  const Identity identity = identityOf(definitions.at(index), index);
  if (chosen_ == identity) return true;
  chosen_ = identity;
  if (files_ == nullptr) return true;
  return files_->writeAtomically(path_, encode(identity)).ok;
}

std::vector<uint8_t> RememberedTrack::encode(const Identity& identity) {
  std::string text(kHeader);
  text += "\nindex " + std::to_string(identity.index);
  text += "\npoints " + std::to_string(identity.pointCount);
  text += "\nbox";
  for (double bound : identity.box) text += " " + exactText(bound);
  text += "\nname " + identity.name + "\n";
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<RememberedTrack::Identity> RememberedTrack::decode(std::span<const uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  std::string_view value;
  Identity identity;
  if (lines.size() != 5 || lines[0] != kHeader) return std::nullopt;
  if (!field(lines[1], "index", value) || !readNumber(value, identity.index)) return std::nullopt;
  if (!field(lines[2], "points", value) || !readNumber(value, identity.pointCount)) return std::nullopt;
  if (!field(lines[3], "box", value)) return std::nullopt;
  for (double& bound : identity.box) {
    const size_t space = value.find(' ');
    if (!readNumber(value.substr(0, space), bound)) return std::nullopt;
    value = space == std::string_view::npos ? std::string_view() : value.substr(space + 1);
  }
  if (!value.empty()) return std::nullopt;
  if (lines[4].substr(0, 5) != "name ") return std::nullopt;
  identity.name = std::string(lines[4].substr(5));
  return identity;
}

}  // namespace corvantis
