#pragma once
// The lap editor: the modal screen on which a lap track is named and its
// start/finish and split lines are placed on a map. It edits the track held
// in the fix history (samples 0 .. count - 1, sample 0 the start/finish
// point) and on OK stores it as a new definition (index -1) or over an
// existing one.
//
// The map is drawn into the screen's own surface: drag it to pan, turn the
// mouse wheel or press "Zoom In"/"Zoom Out" to zoom, and hold on it (or
// right-click) for the "Place" menu: move the start/finish line, set a split
// line, remove the split line under the pointer.
#include <array>

#include "laps/track_map.h"
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
  static constexpr const char* kMoveStartQuestion =
      "Moving the Start/Finish line will reset all lap times.\n\nAre you sure you want to continue?";

  // Where the map is drawn, in client pixels of each layout.
  static constexpr MapArea kPortraitMap{5, 53, 180, 163};
  static constexpr MapArea kLandscapeMap{5, 28, 185, 155};
  // A hold this close to a split marker (strictly less, in x and in y) is
  // on that marker.
  static constexpr int kMarkerReachPx = 8;

  static constexpr platform::Rgb kMapBackground{200, 255, 200};
  static constexpr platform::Rgb kTrackColour{0, 0, 0};
  static constexpr platform::Rgb kSplitColour{255, 0, 0};
  static constexpr platform::Rgb kStartFinishColour{0, 255, 0};
  static constexpr platform::Rgb kMarkerTextColour{255, 255, 255};

  // lapIndex: the definition being edited, or -1 for a new one made from
  // the fix history. The split line list starts empty.
  LapEditorScreen(AppContext& context, int lapIndex);

  // Replaces the split line list with count anchors (an existing
  // definition's splitLines), before the screen is shown.
  void loadSplitLines(const TrackPoint* anchors, int count);

  // The track sample nearest to position (squared degree differences; the
  // lowest index wins a tie). position becomes that sample's; answers its
  // index, or -1 when the track holds no sample.
  int snapToTrack(TrackPoint& position) const;
  // Appends a split line on the track sample nearest position, as "Set
  // Split Time" does at a tapped point. False, changing nothing, when five
  // split lines are placed or the track is empty.
  bool addSplitLine(TrackPoint position);

  int splitLineCount() const { return splitLineCount_; }
  const std::array<TrackPoint, LapDefinition::kMaxSplitLines>& splitAnchors() const { return splitAnchors_; }
  int lapIndex() const { return lapIndex_; }
  // The view: set up when the screen opens.
  const TrackMap& map() const { return map_; }
  // Samples of the history that make up the track being edited.
  int trackCount() const;

  void onCommand(int controlId, platform::Notification what) override;
  void onMenuCommand(int commandId) override;
  void onPaint(platform::Surface& surface) override;
  void onPointerDown(platform::Point p) override;
  void onPointerMove(platform::Point p) override;
  void onPointerUp(platform::Point p) override;
  void onWheel(platform::Point p, int notches) override;
  void onHold(int controlId, platform::Point p) override;

 protected:
  void openScreen() override;

 private:
  bool editsExisting() const;
  void nameEdited();
  void save();
  void drawMap(platform::Surface& surface);
  void drawMarker(platform::Surface& surface, platform::Point p, const char* text);
  // Draws the map now, as it is shown, when the screen is showing.
  void redraw();
  // The split marker under p (see kMarkerReachPx), -1 for none.
  int splitMarkerAt(platform::Point p) const;
  void setStartFinish();
  void removeSplitLine();

  int lapIndex_;
  int splitLineCount_ = 0;
  std::array<TrackPoint, LapDefinition::kMaxSplitLines> splitAnchors_{};

  TrackMap map_;
  // The history's count when the screen opened, -1 before. Opened from the
  // lap screen, the 100 ms tick keeps appending fixes to the history while
  // the driver edits; they lie beyond this count and are no part of the
  // track.
  int openedCount_ = -1;
  bool dragging_ = false;
  platform::Point dragStart_;
  MapPan panAtDragStart_;
  platform::Point tapPoint_;
  int hitSplit_ = -1;
  // Where each split marker was drawn last; only the first markersDrawn_
  // were drawn in the last drawing (none on an empty map), and only those
  // can be hit.
  std::array<platform::Point, LapDefinition::kMaxSplitLines> markerPositions_{};
  int markersDrawn_ = 0;
};

}  // namespace corvantis
