#pragma once
// The run plot's arithmetic, apart from its drawing: axis ranges worked out
// from the runs' traces, the tick spacing of both axes, tick labels, and the
// points of each curve in plot pixels. The plot screen only draws what these
// give it.
#include <cstdint>
#include <string>
#include <vector>

#include "store/run_records.h"

namespace corvantis {

// The plot rectangle in client pixels; its size is fixed, and only its
// height differs between the layouts.
struct PlotFrame {
  int left = 23;
  int top = 20;
  int width = 202;
  int height = 170;
  int clientWidth = 240;  // the screen's width: no label may reach past it
  int right() const { return left + width; }
  int bottom() const { return top + height; }
};
PlotFrame plotFrame(bool landscape);

// The quantity shown; also the item index of the screen's list.
enum class PlotKind { Speed = 0, Distance = 1, Acceleration = 2 };

// The axes' lengths. Every one has a floor, so that no division by a range
// can be a division by 0, whatever a file holds.
struct PlotRanges {
  std::vector<uint32_t> originsMs;  // per run: the fix time taken as time zero
  int spanMs = 1000;                // time axis, whole seconds, at least 1 s
  int maxDistance = 10;             // metres or yards, as shown; at least 10
  int maxSpeed = 5;                 // mph or kph, as shown; at least 5
  int accelRange = 400;             // thousandths of g, the axis is -range/2..+range/2; at least 400
  // Per run: its acceleration at each sample (traceAccelerationMilliG),
  // worked out once here rather than at every paint.
  std::vector<std::vector<double>> accelerationsMilliG;
};

// The ranges of a set of runs. key: the record key as a signed value (0 for
// lap times, negative for distance runs). A run without trace samples adds
// nothing to the ranges; its origin is 0.
PlotRanges computePlotRanges(int32_t key, const std::vector<const RunRecord*>& runs, int32_t units);

// Ticks of an axis: count intervals of stepValue each, stepPx pixels apart;
// leftoverPx of the axis' length is not used by the ticks.
struct AxisTicks {
  int count = 1;
  int stepValue = 0;
  int stepPx = 0;
  int leftoverPx = 0;
};

// Time ticks along widthPx: whole-second candidate steps from 1 s up, at
// least 10 pixels apart; spanMs is stretched in 5 ms steps until the ticks
// divide it evenly (and keeps the stretched value).
AxisTicks layOutTimeTicks(int& spanMs, int widthPx);
// Value ticks along heightPx, multiples of unit, at least 12 pixels apart;
// maxValue grows by unit until the ticks divide it evenly (and keeps it).
AxisTicks layOutValueTicks(int& maxValue, int unit, int heightPx);

// A time tick's label: whole seconds ("4") when the step is a whole number
// of seconds, else seconds with three-digit milliseconds ("2.085", never
// "2.85", which would read as 2850 ms).
std::string timeTickLabel(int64_t atMs, bool wholeSeconds);
// An acceleration label from thousandths of g, in tenths: -500 reads "-0.5",
// 1250 reads "1.2".
std::string accelerationLabel(int milliG);

// The acceleration the plot shows at each of a run's first n trace samples,
// in thousandths of g (positive while speeding up). The trace's speeds are
// position differences over one fix interval, and the difference of two of
// them turns centimetres of position noise into whole g. Instead the
// distances within kSlopeHalfWindowMs either side of a sample (at least
// three samples, fewer on one side at the trace's ends) are fitted with a
// least-squares quadratic, its acceleration the slope of the speed over the
// window, and also with the same curve carrying one kink, the acceleration
// stepping at an instant inside the window with the speed whole: lifting
// off, braking, a shift, a launch. The models are weighed by how well they
// fit against the distances' noise (read from the trace itself), a kink
// paying a penalty for its two extra values, and the plot shows their
// weighted mean. So the noise averages out over a wide window, and a
// change of acceleration stays sharp instead of smearing across it. The
// half window and the penalty were chosen on simulated 10 Hz drives
// against their true acceleration (one half of the drives; reported on the
// other). A sample whose window holds fewer than three instants has no
// acceleration (NaN).
inline constexpr int64_t kSlopeHalfWindowMs = 800;
std::vector<double> traceAccelerationMilliG(const std::vector<TraceSample>& trace, size_t n,
                                            int64_t halfWindowMs = kSlopeHalfWindowMs);

// What a curve is drawn against.
struct CurveScale {
  PlotKind kind = PlotKind::Speed;
  bool metric = false;
  int spanMs = 1000;
  int usedWidthPx = 202;   // width less the time ticks' leftover
  int usedHeightPx = 170;  // height less the value ticks' leftover
  int heightPx = 170;      // the whole plot height: zero acceleration sits at its middle
  int range = 5;           // maxSpeed, maxDistance or accelRange
};

// A curve point in plot pixels: x from the time axis' start, y up from the
// bottom axis.
struct CurvePoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};

// The points of one run's curve, in order, ready to join: none below the
// time axis (a segment that goes below is cut where it crosses it, and the
// curve ends at a last point below it), none left of the value axis. The
// acceleration is that of traceAccelerationMilliG; a sample without one gives
// no point.
// accelerationMilliG: the run's acceleration as computePlotRanges gave it,
// or nullptr to work it out.
std::vector<CurvePoint> curvePoints(const RunRecord& run, uint32_t originMs, const CurveScale& scale,
                                    const std::vector<double>* accelerationMilliG = nullptr);

}  // namespace corvantis
