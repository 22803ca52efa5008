#pragma once
// The lap track last picked on the lap timing screen, so that the screen
// opens with it selected again: within a run of the program, and across
// restarts through a small state file beside the options file (the options
// file itself keeps its layout and is not touched).
//
// A track is known again by what the lap editor never changes in it: its
// number of points and its bounding box. Its name (which Configure may
// change) and its index (which deleting an earlier track shifts) only choose
// among tracks that match. A deleted track matches nothing and is not
// selected.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "store/lap_definitions.h"

namespace corvantis {

class RememberedTrack {
 public:
  // The state file of an options file: beside it, named after it
  // ("/x/options.bin" keeps "/x/options.active-track"); empty for none.
  static std::string pathBeside(const std::string& optionsPath);

  // Keeps the choice in the file at `path` from now on: reads what it holds
  // (a missing or unreadable file remembers nothing) and saves each new
  // choice there at once. Until then, or with an empty path, the choice
  // lives in memory only.
  void keepIn(platform::Files& files, std::string path);

  // The index of the remembered track, -1 when none is remembered or no
  // track matches it.
  int find(const LapDefinitions& definitions) const;
  // Remembers the track at `index` (out of range: nothing changes). False
  // when the state file could not be written; the choice is remembered for
  // this run all the same.
  bool remember(const LapDefinitions& definitions, int index);

  // The state file's content, and reading it back (nullopt for anything
  // but such a content).
  struct Identity {
    int index = -1;
    int32_t pointCount = 0;
    std::array<double, 4> box{};  // min/max longitude, min/max latitude
    std::string name;
    friend bool operator==(const Identity&, const Identity&) = default;
  };
  static std::vector<uint8_t> encode(const Identity& identity);
  static std::optional<Identity> decode(std::span<const uint8_t> bytes);

 private:
  std::optional<Identity> chosen_;
  platform::Files* files_ = nullptr;
  std::string path_;
};

}  // namespace corvantis
