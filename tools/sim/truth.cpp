#include "tools/sim/truth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/sim/nmea_format.h"

namespace corvantis::sim {
namespace {

constexpr double kRad = 180.0 / std::numbers::pi;

// Time within a step (from its start) at which the path distance reaches x;
// the step's acceleration is constant, so this is the root of a quadratic,
// written in the form that stays exact when the acceleration is tiny.
double timeToDistance(const Step& st, double x) {
  const double d = x - st.sM;
  const double disc = st.vMps * st.vMps + 2.0 * st.aMps2 * d;
  const double root = std::sqrt(std::max(0.0, disc));
  const double den = st.vMps + root;
  return den > 0.0 ? 2.0 * d / den : 0.0;
}

GeoPoint geoAt(const Scenario& sc, double pathM) {
  const PathPoint p = sc.path.at(pathM);
  return toGeo(sc.origin, p.pose.xM, p.pose.yM, p.altitudeM);
}

double headingDeg(double rad) {
  double d = std::fmod(rad * kRad, 360.0);
  return d < 0.0 ? d + 360.0 : d;
}

struct OpenStart {
  StandingStart out;
  std::vector<std::vector<double>> upward;  // per asked speed: every upward passing (s)
  double topT = 0.0;
};

}  // namespace

std::optional<double> StandingStart::speedMs(double mph) const {
  for (const SpeedPassing& p : speeds)
    if (p.mph == mph) return p.firstMs;
  return std::nullopt;
}

std::optional<double> StandingStart::distanceMs(double metres) const {
  for (const DistancePassing& p : distances)
    if (p.distanceM == metres) return p.ms;
  return std::nullopt;
}

Truth extractTruth(const Scenario& sc, const DriveTrace& trace, double startMs) {
  Truth truth;
  truth.scenario = sc.name;
  truth.startMs = startMs;
  truth.endMs = startMs + trace.endTimeS * 1000.0;
  auto ms = [&](double t) { return startMs + t * 1000.0; };

  std::optional<OpenStart> open;
  auto close = [&](std::optional<double> stopT, double stopPathM) {
    OpenStart& o = *open;
    for (std::size_t i = 0; i < sc.speedsMph.size(); ++i) {
      const auto& up = o.upward[i];
      if (up.empty()) continue;
      SpeedPassing sp;
      sp.mph = sc.speedsMph[i];
      sp.firstMs = ms(up.front());
      sp.lastUpwardMs = sp.firstMs;
      for (double t : up)
        if (t <= o.topT) sp.lastUpwardMs = ms(t);
      o.out.speeds.push_back(sp);
    }
    if (stopT) o.out.stopMs = ms(*stopT);
    o.out.stopPathM = stopPathM;
    truth.starts.push_back(o.out);
    open.reset();
  };

  // Lap marks: start/finish crossings and split passings, by path distance.
  struct Mark {
    double pathM;
    int lap;     // crossing k of the start/finish point begins timed lap k
    int split;   // -1 for the start/finish point
  };
  std::vector<Mark> marks;
  if (sc.circuit) {
    const CircuitPlacement& cp = *sc.circuit;
    const double len = cp.circuit.lengthM();
    for (int k = 0;; ++k) {
      const double base = cp.lapZeroPathM + k * len;
      if (base > cp.toPathM + 1e-9) break;
      if (base > cp.fromPathM) marks.push_back({base, k, -1});
      if (k == 0) continue;  // splits of the out lap belong to no timed lap
      for (std::size_t j = 0; j < cp.splitsM.size(); ++j) {
        const double at = base + cp.splitsM[j];
        if (at <= cp.toPathM) marks.push_back({at, k, static_cast<int>(j)});
      }
    }
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.pathM < b.pathM; });
  }
  std::size_t nextMark = 0;
  std::vector<std::pair<Mark, double>> passed;  // mark and its instant (ms)

  for (const Step& st : trace.steps) {
    const double v0 = st.vMps, a = st.aMps2;
    const double v1 = v0 + a * st.dtS;
    const double s1 = st.sM + v0 * st.dtS + 0.5 * a * st.dtS * st.dtS;
    if (v0 == 0.0 && a > 0.0) {
      if (open) close(std::nullopt, st.sM);
      OpenStart o;
      o.out.launchMs = ms(st.tS);
      o.out.pathM = st.sM;
      o.out.position = geoAt(sc, st.sM);
      o.upward.resize(sc.speedsMph.size());
      o.topT = st.tS;
      open = std::move(o);
    }
    if (open) {
      OpenStart& o = *open;
      for (std::size_t i = 0; i < sc.speedsMph.size(); ++i) {
        const double v = sc.speedsMph[i] * kMphToMps;
        if (a > 0.0 && v0 < v && v <= v1) o.upward[i].push_back(st.tS + (v - v0) / a);
      }
      const double base = o.out.pathM;
      for (double d : sc.distancesM) {
        const bool have = std::any_of(o.out.distances.begin(), o.out.distances.end(),
                                      [&](const DistancePassing& p) { return p.distanceM == d; });
        if (!have && st.sM - base < d && d <= s1 - base) {
          const double tau = timeToDistance(st, base + d);
          o.out.distances.push_back({d, ms(st.tS + tau), v0 + a * tau});
        }
      }
      if (v1 > o.out.topSpeedMps) {
        o.out.topSpeedMps = v1;
        o.topT = st.tS + st.dtS;
      }
    }
    while (nextMark < marks.size() && st.sM < marks[nextMark].pathM && marks[nextMark].pathM <= s1) {
      passed.emplace_back(marks[nextMark], ms(st.tS + timeToDistance(st, marks[nextMark].pathM)));
      ++nextMark;
    }
    if (open && v0 > 0.0 && v1 <= 1e-9) close(st.tS + st.dtS, s1);
  }
  if (open) close(std::nullopt, trace.steps.empty() ? 0.0 : trace.stateAt(trace.endTimeS).sM);
  // Distances in the order they were asked for, with their straight-line
  // counterparts, and whether the road there is one straight.
  for (StandingStart& s : truth.starts) {
    std::vector<DistancePassing> ordered;
    double furthest = 0.0;
    for (double d : sc.distancesM)
      for (const DistancePassing& p : s.distances)
        if (p.distanceM == d) {
          ordered.push_back(p);
          ordered.back().straightLineM = haversineM(s.position, geoAt(sc, s.pathM + d));
          furthest = std::max(furthest, d);
        }
    s.distances = ordered;
    const std::size_t first = sc.path.segmentIndexAt(s.pathM), last = sc.path.segmentIndexAt(s.pathM + furthest);
    for (std::size_t i = first; i <= last && i < sc.path.segments().size(); ++i) {
      const Segment& seg = sc.path.segments()[i];
      if (seg.kind != Segment::Kind::Straight ||
          std::fabs(std::remainder(seg.start.headingRad - sc.path.segments()[first].start.headingRad, 2.0 * std::numbers::pi)) > 1e-9)
        s.straightPath = false;
    }
  }

  if (sc.circuit) {
    const CircuitPlacement& cp = *sc.circuit;
    CircuitTruth ct;
    ct.lengthM = cp.circuit.lengthM();
    ct.corners = cp.circuit.cornerCount();
    auto point = [&](double u) {
      const PathPoint p = cp.circuit.at(u);
      SplitPoint sp;
      sp.distanceM = u;
      sp.position = toGeo(sc.origin, p.pose.xM, p.pose.yM, p.altitudeM);
      sp.headingDeg = headingDeg(p.pose.headingRad);
      return sp;
    };
    ct.startFinish = point(0.0);
    for (double u : cp.splitsM) ct.splits.push_back(point(u));
    for (const auto& [mark, at] : passed) {
      if (mark.split < 0) {
        ct.startFinishCrossingsMs.push_back(at);
        if (mark.lap > 1 && !ct.laps.empty() && ct.laps.back().number == mark.lap - 1) ct.laps.back().endMs = at;
        LapTruth lap;
        lap.number = mark.lap;
        lap.startMs = at;
        ct.laps.push_back(lap);
      } else if (!ct.laps.empty() && ct.laps.back().number == mark.lap) {
        const double u = cp.splitsM[static_cast<std::size_t>(mark.split)];
        ct.laps.back().splits.push_back({u, at, trace.stateAt((at - startMs) / 1000.0).vMps});
      }
    }
    // The last crossing only ends a lap; it begins none.
    if (!ct.laps.empty() && ct.laps.back().endMs == 0.0) ct.laps.pop_back();
    truth.circuit = ct;
  }
  return truth;
}

namespace {

class JsonWriter {
 public:
  std::string text;
  void raw(const std::string& s) { text += s; }
  void key(const std::string& k) {
    comma();
    indent();
    text += '"' + k + "\": ";
    fresh_ = false;
  }
  void num(double v, int decimals) { text += formatFixed(v, decimals); }
  void str(const std::string& s) {
    text += '"';
    for (char c : s) {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  void open(char c) {
    text += c;
    text += '\n';
    ++depth_;
    fresh_ = true;
  }
  void item() {
    comma();
    indent();
    fresh_ = false;
  }
  void close(char c) {
    --depth_;
    if (fresh_) {
      text.pop_back();  // nothing inside: keep "[]" on one line
    } else {
      text += '\n';
      indent();
    }
    text += c;
    fresh_ = false;
  }

 private:
  void comma() {
    if (!fresh_) text += ",\n";
    fresh_ = false;
  }
  void indent() { text.append(static_cast<std::size_t>(depth_) * 2, ' '); }
  int depth_ = 0;
  bool fresh_ = true;
};

void writeGeo(JsonWriter& w, const GeoPoint& p) {
  w.key("latitude");
  w.num(p.latitudeDeg, 9);
  w.key("longitude");
  w.num(p.longitudeDeg, 9);
  w.key("altitudeM");
  w.num(p.altitudeM, 3);
}

void writeTime(JsonWriter& w, const std::string& name, double ms) {
  w.key(name);
  w.num(ms, 3);
}

void writePassing(JsonWriter& w, const DistancePassing& p, bool withStraightLine) {
  w.item();
  w.open('{');
  w.key("distanceM");
  w.num(p.distanceM, 3);
  writeTime(w, "ms", p.ms);
  w.key("timeOfDayMs");
  w.num(timeOfDayMs(p.ms), 3);
  w.key("speedMph");
  w.num(p.speedMps / kMphToMps, 4);
  if (withStraightLine) {
    w.key("straightLineM");
    w.num(p.straightLineM, 3);
  }
  w.close('}');
}

}  // namespace

std::string renderTruthJson(const Truth& t) {
  JsonWriter w;
  w.open('{');
  w.key("scenario");
  w.str(t.scenario);
  w.key("seed");
  w.raw(std::to_string(t.seed));
  w.key("rateHz");
  w.raw(std::to_string(t.rateHz));
  w.key("startDate");
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.startYear, t.startMonth, t.startDay);
  w.str(date);
  w.key("timeBase");
  w.str("ms: milliseconds since UTC midnight of startDate, as fractions; past midnight they go on beyond 86400000. "
        "timeOfDayMs: the same instant as a time of day");
  w.key("distanceBase");
  w.str("metres along the driven path from the standing position (on a straight strip the great-circle distance)");
  writeTime(w, "startMs", t.startMs);
  writeTime(w, "endMs", t.endMs);
  w.key("launches");
  w.open('[');
  for (const StandingStart& s : t.starts) {
    w.item();
    w.open('{');
    writeTime(w, "launchMs", s.launchMs);
    w.key("launchTimeOfDayMs");
    w.num(timeOfDayMs(s.launchMs), 3);
    w.key("pathM");
    w.num(s.pathM, 3);
    writeGeo(w, s.position);
    w.key("topSpeedMph");
    w.num(s.topSpeedMps / kMphToMps, 4);
    if (s.stopMs) {
      writeTime(w, "stopMs", *s.stopMs);
      w.key("stopDistanceM");
      w.num(s.stopPathM - s.pathM, 3);
    }
    w.key("speeds");
    w.open('[');
    for (const SpeedPassing& p : s.speeds) {
      w.item();
      w.open('{');
      w.key("mph");
      w.num(p.mph, 6);
      writeTime(w, "firstMs", p.firstMs);
      w.key("firstTimeOfDayMs");
      w.num(timeOfDayMs(p.firstMs), 3);
      writeTime(w, "lastUpwardMs", p.lastUpwardMs);
      w.key("sinceLaunchMs");
      w.num(p.firstMs - s.launchMs, 3);
      w.close('}');
    }
    w.close(']');
    w.key("straightPath");
    w.raw(s.straightPath ? "true" : "false");
    if (!s.launch.empty()) {
      w.key("launch");
      w.str(s.launch);
    }
    w.key("distances");
    w.open('[');
    for (const DistancePassing& p : s.distances) writePassing(w, p, true);
    w.close(']');
    w.close('}');
  }
  w.close(']');
  if (t.circuit) {
    const CircuitTruth& c = *t.circuit;
    w.key("circuit");
    w.open('{');
    w.key("lengthM");
    w.num(c.lengthM, 3);
    w.key("corners");
    w.raw(std::to_string(c.corners));
    auto writePoint = [&](const SplitPoint& p) {
      w.open('{');
      w.key("distanceM");
      w.num(p.distanceM, 3);
      writeGeo(w, p.position);
      w.key("headingDeg");
      w.num(p.headingDeg, 4);
      w.close('}');
    };
    w.key("startFinish");
    writePoint(c.startFinish);
    w.key("splits");
    w.open('[');
    for (const SplitPoint& p : c.splits) {
      w.item();
      writePoint(p);
    }
    w.close(']');
    w.key("startFinishCrossingsMs");
    w.open('[');
    for (double ms : c.startFinishCrossingsMs) {
      w.item();
      w.num(ms, 3);
    }
    w.close(']');
    w.key("laps");
    w.open('[');
    for (const LapTruth& l : c.laps) {
      w.item();
      w.open('{');
      w.key("number");
      w.raw(std::to_string(l.number));
      writeTime(w, "startMs", l.startMs);
      writeTime(w, "endMs", l.endMs);
      w.key("timeMs");
      w.num(l.timeMs(), 3);
      w.key("splits");
      w.open('[');
      for (const DistancePassing& p : l.splits) writePassing(w, p, false);
      w.close(']');
      w.close('}');
    }
    w.close(']');
    w.close('}');
  }
  w.key("dropouts");
  w.open('[');
  for (const Dropout& d : t.dropouts) {
    w.item();
    w.open('{');
    writeTime(w, "fromMs", d.fromMs);
    writeTime(w, "toMs", d.toMs);
    w.close('}');
  }
  w.close(']');
  w.key("corruptedSentences");
  w.raw(std::to_string(t.corruptedSentences));
  w.key("binaryBursts");
  w.raw(std::to_string(t.binaryBursts));
  w.close('}');
  w.raw("\n");
  return w.text;
}

}  // namespace corvantis::sim
