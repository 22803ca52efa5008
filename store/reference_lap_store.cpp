#include "store/reference_lap_store.h"

#include <bit>
#include <cinttypes>
#include <cstdio>

namespace corvantis {
namespace {

// FNV-1a over what never changes in a track: its point count, box and points.
uint64_t trackHash(const TrackKey& key) {
  uint64_t hash = 14695981039346656037ull;
  const auto mix = [&hash](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      hash ^= (value >> (8 * i)) & 0xFFu;
      hash *= 1099511628211ull;
    }
  };
  mix(static_cast<uint32_t>(key.pointCount), 4);
  for (const double v : key.box) mix(std::bit_cast<uint64_t>(v), 8);
  mix(key.pointsHash, 8);
  return hash;
}

}  // namespace

std::string ReferenceLapStore::folderBeside(const std::string& optionsPath) {
  if (optionsPath.empty()) return {};
  const auto slash = optionsPath.find_last_of('/');
  const auto dot = optionsPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? optionsPath.substr(0, dot) : optionsPath) + ".reference-laps";
}

void ReferenceLapStore::keepIn(platform::Files& files, std::string folder) {
  files_ = &files;
  folder_ = std::move(folder);
}

std::string ReferenceLapStore::pathFor(const LapDefinition& definition) const {
  if (files_ == nullptr || folder_.empty()) return {};
  char name[40];
  std::snprintf(name, sizeof name, "/track-%016" PRIx64 ".lap", trackHash(trackKeyOf(definition)));
  return folder_ + name;
}

ReferenceLapStore::Loaded ReferenceLapStore::load(const LapDefinition& definition) { return load(definition, true); }

ReferenceLapStore::Loaded ReferenceLapStore::peek(const LapDefinition& definition) { return load(definition, false); }

ReferenceLapStore::Loaded ReferenceLapStore::load(const LapDefinition& definition, bool tidy) {
  Loaded loaded;
  const TrackKey key = trackKeyOf(definition);
  const std::string path = pathFor(definition);
  if (path.empty()) {
    for (auto it = memory_.begin(); it != memory_.end(); ++it) {
      if (!it->first.sameTrack(key)) continue;
      if (it->first.startFinish != key.startFinish) {
        if (!tidy) return loaded;
        memory_.erase(it);
        loaded.status = Loaded::Status::Discarded;
      } else {
        loaded.status = Loaded::Status::Kept;
        loaded.kept = it->second;
      }
      return loaded;
    }
    return loaded;
  }

  const platform::FileRead read = files_->readWhole(path);
  using ReadStatus = platform::FileRead::Status;
  if (read.status == ReadStatus::NotFound) return loaded;
  if (read.status != ReadStatus::Ok) {
    loaded.status = Loaded::Status::Unreadable;
    loaded.message = read.error.empty() ? std::string("it is not a file") : read.error;
    return loaded;
  }
  TrackKey fileKey;
  KeptLaps kept;
  std::string problem;
  if (!decodeKeptLaps(read.bytes, fileKey, kept, problem)) {
    if (!tidy) {
      loaded.status = Loaded::Status::Damaged;
      loaded.message = "The reference lap " + path + " is damaged (" + problem + ").";
      return loaded;
    }
    const platform::FileResult moved = files_->moveAside(path, "damaged");
    loaded.status = Loaded::Status::Damaged;
    loaded.message = "The reference lap " + path + " is damaged (" + problem + ")" +
                     (moved.ok ? "; it was kept as " + moved.path + "." : "; it could not be moved aside (" +
                                                                              moved.error + ").");
    return loaded;
  }
  // Another track whose key gives the same name: not ours to touch.
  if (!fileKey.sameTrack(key)) return loaded;
  if (fileKey.startFinish != key.startFinish) {
    if (!tidy) return loaded;
    files_->removeFile(path);
    loaded.status = Loaded::Status::Discarded;
    return loaded;
  }
  loaded.status = Loaded::Status::Kept;
  loaded.kept = std::move(kept);
  return loaded;
}

bool ReferenceLapStore::save(const LapDefinition& definition, const KeptLaps& kept, std::string& error) {
  const TrackKey key = trackKeyOf(definition);
  const std::string path = pathFor(definition);
  if (path.empty()) {
    for (auto& entry : memory_) {
      if (entry.first.sameTrack(key)) {
        entry = {key, kept};
        return true;
      }
    }
    memory_.emplace_back(key, kept);
    return true;
  }
  const platform::FileResult folder = files_->createFolder(folder_);
  if (!folder.ok) {
    error = folder.error;
    return false;
  }
  const platform::FileResult written = files_->writeAtomically(path, encodeKeptLaps(key, kept));
  if (!written.ok) error = written.error;
  return written.ok;
}

void ReferenceLapStore::discard(const LapDefinition& definition) {
  const TrackKey key = trackKeyOf(definition);
  const std::string path = pathFor(definition);
  if (path.empty()) {
    std::erase_if(memory_, [&key](const auto& entry) { return entry.first.sameTrack(key); });
    return;
  }
  files_->removeFile(path);
}

}  // namespace corvantis
