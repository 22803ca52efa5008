#include "slip/slip_text.h"

#include <cmath>
#include <cstdio>

namespace corvantis::slip {
namespace {

constexpr double kMpsToMph = 1.0 / 0.44704;
constexpr double kMpsToKph = 3.6;
constexpr double kDayMs = 86400000.0;

long long roundedUp(double value) { return static_cast<long long>(std::ceil(value - 1e-9)); }
// A ± in ms as the slip shows it.
long long plusMinusMs(double ms) { return roundedUp(ms); }
// A trap speed's ±, rounded up to its last digit (0.01).
double trapPlusMinus(double mps, double factor) { return static_cast<double>(roundedUp(mps * factor * 100.0)) / 100.0; }

std::string timeOfDay(double ms) {
  const long long whole = std::llround(ms) % static_cast<long long>(kDayMs);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", whole / 3600000, whole / 60000 % 60,
                whole / 1000 % 60, whole % 1000);
  return text;
}

const char* sourceText(SpeedSource source) {
  switch (source) {
    case SpeedSource::SpeedOverGround: return "speed over ground";
    case SpeedSource::Positions: return "positions";
    case SpeedSource::StoredTrace: return "stored trace";
  }
  return "positions";
}

std::string markText(const MarkResult& mark) {
  char text[64];
  std::snprintf(text, sizeof text, "%7.3f s ± %.3f", static_cast<double>(std::llround(mark.timeMs)) / 1000.0,
                static_cast<double>(plusMinusMs(mark.plusMinusMs)) / 1000.0);
  return text;
}

std::string trapText(const MarkResult& mark, bool metric) {
  const double factor = metric ? kMpsToKph : kMpsToMph;
  char text[64];
  std::snprintf(text, sizeof text, "  %6.2f %s ± %.2f", mark.trapMps * factor, metric ? "km/h" : "mph",
                trapPlusMinus(mark.trapPlusMinusMps, factor));
  return text;
}

std::string jsonMarks(const std::vector<MarkResult>& marks) {
  std::string out = "{";
  bool first = true;
  char text[96];
  for (const MarkResult& mark : marks) {
    if (!mark.reached) continue;
    if (!first) out += ",";
    first = false;
    out += "\"" + std::string(mark.definition->key) + "\":{\"time_ms\":" + std::to_string(std::llround(mark.timeMs)) +
           ",\"pm_ms\":" + std::to_string(plusMinusMs(mark.plusMinusMs));
    if (mark.hasTrap) {
      std::snprintf(text, sizeof text, ",\"trap_kph\":%.2f,\"trap_pm_kph\":%.2f", mark.trapMps * kMpsToKph,
                    trapPlusMinus(mark.trapPlusMinusMps, kMpsToKph));
      out += text;
    }
    out += "}";
  }
  return out + "}";
}

}  // namespace

std::string plainSlipText(const TimeSlip& slip, bool metric, const std::vector<std::string>& notes) {
  std::string out;
  char line[200];
  std::snprintf(line, sizeof line, "Time slip, launch at %s UTC ± %.3f s, clock from %s\n",
                timeOfDay(slip.launchMs).c_str(), static_cast<double>(plusMinusMs(slip.launchPlusMinusMs)) / 1000.0,
                slip.rollout ? "a one-foot rollout" : "first motion");
  out += line;
  // Where the fixes cannot show when the car left rest, the times from the
  // one-foot rollout carry the slip, beside those asked for.
  const bool rolloutColumn = !slip.rollout && !slip.firstMotionSeen;
  if (rolloutColumn) out += "  first motion cannot be seen in these fixes: trust the times from the one-foot rollout\n";
  std::snprintf(line, sizeof line, "  %-12s %7.3f s ± %.3f after first motion\n", "rollout",
                static_cast<double>(std::llround(slip.rolloutMs)) / 1000.0,
                static_cast<double>(plusMinusMs(slip.rolloutPlusMinusMs)) / 1000.0);
  out += line;
  for (size_t i = 0; i < slip.marks.size(); ++i) {
    const MarkResult& mark = slip.marks[i];
    std::string text = "  " + std::string(mark.definition->label);
    text.resize(15, ' ');
    if (!mark.reached) {
      out += text + "     --\n";
      continue;
    }
    text += markText(mark);
    if (mark.hasTrap) text += trapText(mark, metric);
    if (rolloutColumn && i < slip.rolloutMarks.size() && slip.rolloutMarks[i].reached) {
      text += "   (from rollout " + markText(slip.rolloutMarks[i]).substr(1) + ")";
    }
    out += text + "\n";
  }
  for (const std::string& note : notes) out += "  " + note + "\n";
  if (slip.source == SpeedSource::SpeedOverGround) {
    out += "  from the receiver's speed over ground ($--RMC/$--VTG) and positions\n";
  } else if (slip.source == SpeedSource::StoredTrace) {
    out += "  from the stored trace: the distances between its fixes\n";
  } else if (slip.speedsDisagreed) {
    out += "  from the receiver's positions: its speeds over ground disagreed with them throughout\n";
  } else {
    out += "  from the receiver's positions (no speed over ground)\n";
  }
  if (slip.droppedSpeeds > 0) {
    std::snprintf(line, sizeof line, "  %d speed%s over ground dropped: impossible against physics or the positions\n",
                  slip.droppedSpeeds, slip.droppedSpeeds == 1 ? "" : "s");
    out += line;
  }
  out += "  (± : 95 % interval)\n";
  return out;
}

std::string jsonSlipText(const TimeSlip& slip, const std::string& extra) {
  std::string out = "{\"kind\":\"timeslip\",\"launch_ms\":" + std::to_string(std::llround(slip.launchMs)) +
                    ",\"launch_pm_ms\":" + std::to_string(plusMinusMs(slip.launchPlusMinusMs)) +
                    ",\"marks\":" + jsonMarks(slip.marks) + extra;
  out += std::string(",\"clock\":\"") + (slip.rollout ? "rollout" : "first motion") + "\"";
  out += ",\"rollout_ms\":" + std::to_string(std::llround(slip.rolloutMs)) +
         ",\"rollout_pm_ms\":" + std::to_string(plusMinusMs(slip.rolloutPlusMinusMs));
  out += std::string(",\"first_motion_seen\":") + (slip.firstMotionSeen ? "true" : "false");
  if (!slip.rollout && !slip.firstMotionSeen) out += ",\"rollout_marks\":" + jsonMarks(slip.rolloutMarks);
  out += std::string(",\"source\":\"") + sourceText(slip.source) + "\"";
  out += std::string(",\"speeds_disagreed\":") + (slip.speedsDisagreed ? "true" : "false");
  out += ",\"speeds_dropped\":" + std::to_string(slip.droppedSpeeds) + "}";
  return out;
}

std::string screenSlipText(const TimeSlip& slip, bool metric, bool narrow) {
  const bool fromRollout = slip.rollout || !slip.firstMotionSeen;
  const std::vector<MarkResult>& marks = fromRollout ? slip.rolloutMarks : slip.marks;
  std::string out = fromRollout ? "from a 1 ft rollout, seconds:\n" : "from first motion, seconds:\n";
  char line[96];
  for (const MarkResult& mark : marks) {
    if (!mark.reached) continue;
    std::snprintf(line, sizeof line, "%s  %.3f ±%.3f", mark.definition->label,
                  static_cast<double>(std::llround(mark.timeMs)) / 1000.0,
                  static_cast<double>(plusMinusMs(mark.plusMinusMs)) / 1000.0);
    out += line;
    if (mark.hasTrap) {
      // A narrow screen has the trap speed on a line of its own.
      const double factor = metric ? kMpsToKph : kMpsToMph;
      std::snprintf(line, sizeof line, "%s%.1f ±%.1f %s", narrow ? "\n    trap " : ", ", mark.trapMps * factor,
                    static_cast<double>(roundedUp(mark.trapPlusMinusMps * factor * 10.0)) / 10.0,
                    metric ? "km/h" : "mph");
      out += line;
    }
    out += "\n";
  }
  if (fromRollout && !slip.rollout) out += "First motion not seen.\n";
  out += "± : 95 % interval";
  return out;
}

}  // namespace corvantis::slip
