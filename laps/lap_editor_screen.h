#pragma once
// The lap editor: the modal screen on which a lap track is named and its
// start/finish and split lines are placed on a map. It edits the track held
// in the fix history (samples 0 .. count - 1, sample 0 the start/finish
// point) and on OK stores it as a new definition (index -1) or over an
// existing one.
#include <array>

#include "store/lap_definitions.h"
#include "ui/screen.h"

namespace corvantis {

class LapEditorScreen : public Screen {
 public:
  static constexpr int kNameField = 1026;
  static constexpr int kZoomInButton = 1028;
  static constexpr int kZoomOutButton = 1029;
  static constexpr int kOk = 1;       // result: the definition was stored
  static constexpr int kDiscard = 2;  // result: nothing was stored
  static constexpr const char* kEmptyNameMessage = "You must name the lap";

  // lapIndex: the definition being edited, or -1 for a new one made from
  // the fix history. The split line list starts empty.
  LapEditorScreen(AppContext& context, int lapIndex);

  // Replaces the split line list with count anchors (an existing
  // definition's splitLines), before the screen is shown.
  void loadSplitLines(const TrackPoint* anchors, int count);

  // The track sample nearest to position (squared degree differences; the
  // lowest index wins a tie). position becomes that sample's; answers its
  // index, or -1 when the history holds no sample.
  int snapToTrack(TrackPoint& position) const;
  // Appends a split line on the track sample nearest position, as "Set
  // Split Time" does at a tapped point. False, changing nothing, when five
  // split lines are placed or the track is empty.
  bool addSplitLine(TrackPoint position);

  int splitLineCount() const { return splitLineCount_; }
  const std::array<TrackPoint, LapDefinition::kMaxSplitLines>& splitAnchors() const { return splitAnchors_; }
  int lapIndex() const { return lapIndex_; }

  void onCommand(int controlId, platform::Notification what) override;

 protected:
  void openScreen() override;

 private:
  void save();

  int lapIndex_;
  int splitLineCount_ = 0;
  std::array<TrackPoint, LapDefinition::kMaxSplitLines> splitAnchors_{};
};

}  // namespace corvantis
