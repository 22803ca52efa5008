#include "slip/stored_run_slip.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace corvantis::slip {
namespace {

// The onset lies at most this long before the trace's first fix (the run
// started when the speed between two fixes passed 2 mph: a slow creep may
// have begun before them) ...
constexpr double kOnsetBeforeTraceS = 2.5;
// ... and by the fix where the car has covered this much.
constexpr double kSurelyMovingM = 0.5;
constexpr double kOnsetDataAfterS = 2.5;
// The trace counts its distance from its first fix: the standing position
// is that fix's, to its noise.
constexpr double kStartOffsetSdM = 0.3;
// Traces noisier than this have their ± widened this much (see below).
constexpr double kNoisyTraceM = 0.02;
constexpr double kNoisyTraceWiden = 5.5;
constexpr double kFirstMotionTraceWiden = 3.5;
// A step of a car that barely moves, after the correction below, still
// reads this many sigmas of the positions' noise long on average.
constexpr double kLeftOverStep = 0.65;
// The gentlest launch a car makes (a creep), m/s^2.
constexpr double kGentlestLaunchMps2 = 0.4;
// Distances are kept to the float's precision; a trace is never better.
constexpr double kLeastNoiseM = 0.001;

}  // namespace

const char* noSlipText(NoSlip why) {
  switch (why) {
    case NoSlip::NotFromStandstill: return "the run did not start from a standstill";
    case NoSlip::NoTrace: return "the run was stored without a trace";
    case NoSlip::NoLaunch: return "its trace shows no launch that covers 60 ft";
  }
  return "";
}

std::optional<TimeSlip> slipOfStoredRun(RecordKey key, const RunRecord& run, const SlipOptions& options, NoSlip* why) {
  auto none = [why](NoSlip reason) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  if (!key.isDistance() && key.kind != 0) return none(NoSlip::NotFromStandstill);
  const std::vector<TraceSample>& trace = run.trace;
  const size_t count = std::min(trace.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
  if (count == 0) return none(NoSlip::NoTrace);
  if (count < 5) return none(NoSlip::NoLaunch);
  const uint32_t originMs = trace[0].time;
  std::vector<MotionObservation> observations;
  std::vector<double> times, distances;
  double previousS = -1.0;
  for (size_t i = 0; i < count; ++i) {
    // An unsigned difference: a trace past midnight counts on.
    const double tS = static_cast<double>(static_cast<int32_t>(trace[i].time - originMs)) / 1000.0;
    const double distance = static_cast<double>(trace[i].distance);
    if (!(tS > previousS) || !std::isfinite(distance)) continue;  // a damaged or repeated sample says nothing
    previousS = tS;
    MotionObservation o;
    o.tS = tS;
    o.alongM = distance;
    observations.push_back(o);
    times.push_back(tS);
    distances.push_back(distance);
  }
  if (observations.size() < 5) return none(NoSlip::NoLaunch);
  // The trace's distance adds up the straight lines between fixes, and the
  // noise of the positions lengthens each of them: a step with the true
  // displacement d and noise of sigma on each axis of both ends measures
  // sqrt(d^2 + 4 sigma^2) on average in its square, so a slow car's first
  // steps read long. Each step is taken back to its displacement's share.
  const double noise = std::max(noiseFromDifferences(times, distances, 4), kLeastNoiseM);
  double corrected = distances.front();
  for (size_t i = 1; i < observations.size(); ++i) {
    const double step = distances[i] - distances[i - 1];
    corrected += std::sqrt(std::max(step * step - 4.0 * noise * noise, 0.0));
    observations[i].alongM = corrected;
  }
  for (MotionObservation& o : observations) o.alongVar = noise * noise;

  FitWindow window;
  window.onsetFromS = -kOnsetBeforeTraceS;
  window.onsetToS = observations.back().tS;
  for (const MotionObservation& o : observations) {
    if (o.alongM >= kSurelyMovingM) {
      window.onsetToS = o.tS;
      break;
    }
  }
  window.onsetDataEndS = window.onsetToS + kOnsetDataAfterS;
  window.offsetSdM = kStartOffsetSdM;
  const std::optional<LaunchFit> fit = fitLaunch(observations, window);
  if (!fit) return none(NoSlip::NoLaunch);
  TimeSlip slip = slipFromFit(*fit, static_cast<double>(originMs), options);
  slip.source = SpeedSource::StoredTrace;
  // What the correction leaves: a step of a car barely moving still reads
  // about 0.65 sigma long on average (the part of the noise's length over
  // its expected square), and up to the one-foot instant such steps add up.
  // That much distance, over the speed the car has there, is how far the
  // one-foot instant and first motion may lie off.
  {
    const double rolloutS = (slip.launchMs - static_cast<double>(originMs) + slip.rolloutMs) / 1000.0;
    int before = 0;
    for (const MotionObservation& o : observations) before += o.tS < rolloutS ? 1 : 0;
    const double rolloutSpeed = 2.0 * kRolloutM / std::max(slip.rolloutMs / 1000.0, 0.05);
    const double driftS = kLeftOverStep * noise * before / rolloutSpeed;
    auto widen = [&](double& plusMinusMs) { plusMinusMs = std::hypot(plusMinusMs, driftS * 1000.0); };
    widen(slip.launchPlusMinusMs);
    widen(slip.rolloutPlusMinusMs);
    for (MarkResult& mark : slip.marks) widen(mark.plusMinusMs);
    for (MarkResult& mark : slip.rolloutMarks) widen(mark.plusMinusMs);
  }
  // A trace lies in more ways than these: a noisy receiver's steps while the
  // car stood (a run the noise started early) and crept add length the fit
  // cannot tell from motion, and two fixes before the run's start rarely
  // show first motion. Over the launches family's choosing half its ± held
  // the truth for 95 % of marks only this much wider.
  const bool noisy = noise > kNoisyTraceM;
  const double fromRollout = noisy ? kNoisyTraceWiden : 1.0;
  const double fromFirstMotion = std::max(fromRollout, kFirstMotionTraceWiden);
  slip.launchPlusMinusMs *= fromFirstMotion;
  slip.rolloutPlusMinusMs *= fromFirstMotion;
  for (MarkResult& mark : slip.marks) {
    mark.plusMinusMs *= options.rollout ? fromRollout : fromFirstMotion;
    mark.trapPlusMinusMps *= fromRollout;
  }
  for (MarkResult& mark : slip.rolloutMarks) {
    mark.plusMinusMs *= fromRollout;
    mark.trapPlusMinusMps *= fromRollout;
  }
  // Two fixes before the run's start cannot show first motion: the rollout
  // figures carry a trace's slip.
  slip.firstMotionSeen = false;
  // A trace that begins with the car already rolling (a creep before the
  // run's start) cannot say how far it had come: as far as the gentlest
  // launch needs to reach that speed. Where the one-foot instant falls is
  // uncertain by that distance over the speed it had then.
  const double firstStepS = observations[1].tS - observations[0].tS;
  const double rolling = (observations[1].alongM - observations[0].alongM) / firstStepS;
  if (rolling > 3.0 * noise / firstStepS) {
    const double comeS = rolling / (2.0 * kGentlestLaunchMps2);  // distance come / speed
    auto widen = [&](double& plusMinusMs) { plusMinusMs = std::hypot(plusMinusMs, comeS * 1000.0); };
    widen(slip.rolloutPlusMinusMs);
    for (MarkResult& mark : slip.rolloutMarks) widen(mark.plusMinusMs);
    if (options.rollout) {
      for (MarkResult& mark : slip.marks) widen(mark.plusMinusMs);
    }
  }
  return slip;
}

}  // namespace corvantis::slip
