#include "tools/sim/drive.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace corvantis::sim {

Phase Phase::wait(double seconds) {
  Phase p;
  p.kind = Kind::Wait;
  p.durationS = seconds;
  return p;
}

Phase Phase::runToSpeed(double speedMps) {
  Phase p;
  p.kind = Kind::Run;
  p.untilSpeedMps = speedMps;
  return p;
}

Phase Phase::runToDistance(double distanceM) {
  Phase p;
  p.kind = Kind::Run;
  p.untilDistanceM = distanceM;
  return p;
}

Phase Phase::driveTo(double pathM, bool stop, double throttle) {
  Phase p;
  p.kind = Kind::DriveTo;
  p.toPathM = pathM;
  p.stopAtEnd = stop;
  p.throttle = throttle;
  return p;
}

MotionState DriveTrace::stateAt(double tS) const {
  MotionState m;
  if (steps.empty()) return m;
  auto it = std::upper_bound(steps.begin(), steps.end(), tS, [](double t, const Step& s) { return t < s.tS; });
  const Step& st = it == steps.begin() ? steps.front() : *(it - 1);
  const double tau = std::clamp(tS - st.tS, 0.0, st.dtS);
  m.tS = st.tS + tau;
  m.sM = st.sM + st.vMps * tau + 0.5 * st.aMps2 * tau * tau;
  m.vMps = std::max(0.0, st.vMps + st.aMps2 * tau);
  m.aMps2 = st.aMps2;
  return m;
}

namespace {

// The longest drive the integrator accepts, in simulated seconds: a script
// that never finishes (a speed the car cannot reach) is an error, not a hang.
constexpr double kMaxDriveS = 1.5 * 3600.0;

class Integrator {
 public:
  Integrator(const Path& path, const VehicleParams& car, const DriveOptions& options)
      : path_(path),
        car_(car),
        dt_(options.stepS),
        grid_(options.envelopeGridM),
        shiftSpeeds_(&car.shiftSpeedsMps),
        shiftTimeS_(car.shiftTimeS),
        shiftShare_(car.shiftForceShare) {
    if (!(dt_ > 0.0) || dt_ > 0.001) throw std::invalid_argument("the integration step must be above 0 and at most 1 ms");
    if (!(grid_ > 0.0)) throw std::invalid_argument("the speed plan's grid must be above 0");
  }

  void wait(double seconds) {
    if (v_ != 0.0) throw std::invalid_argument("the car must stand still to wait");
    if (seconds < 0.0) throw std::invalid_argument("a wait cannot be negative");
    hold(seconds);
  }

  void run(const Phase& p) {
    if (v_ != 0.0) throw std::invalid_argument("a run starts from a standstill");
    launch(p.throttle, p.launchShape ? &*p.launchShape : nullptr);
    const double s0 = s_;
    while (v_ < p.untilSpeedMps && s_ - s0 < p.untilDistanceM) {
      const double mid = t_ + dt_ * 0.5;
      const double drive = p.throttle * car_.fullDriveForceN(v_) * rampFactor(mid) * shiftFactor(mid);
      const Forces r = resistance();
      const double a = (drive - r.total()) / car_.massKg;
      // Near its top speed the car gains almost nothing: a target above it
      // is reported as such rather than as a road that ends.
      if (std::isfinite(p.untilSpeedMps) && a < 0.02 && mid - rampStart_ > launchEndS_ && mid >= shiftEnd_ + shiftTimeS_)
        throw std::invalid_argument("the car cannot reach the run's end: it tops out at about " +
                                    std::to_string(static_cast<int>(v_ * 3.6 / 1.609344)) + " mph");
      advance(a, dt_, drive, 0.0, r, true);
      checkRoad("run");
      checkStraight();
      if (t_ > kMaxDriveS) throw std::invalid_argument("the car never reaches the run's end");
    }
    brakeToStop();
  }

  void driveTo(const Phase& p, double stopM) {
    const double target = p.toPathM;
    if (stopM > path_.lengthM() + 1e-6) throw std::invalid_argument("a drive goes past the end of the road");
    if (target < s_ - 1e-6) throw std::invalid_argument("a drive cannot go back along the road");
    buildEnvelope(s_, stopM);
    if (v_ == 0.0 && s_ >= target - 0.5 && p.stopAtEnd) return;  // already there
    while (true) {
      if (!p.stopAtEnd && s_ >= target) return;
      if (v_ == 0.0) {
        if (p.stopAtEnd && s_ >= target - 1.0) return;
        launch(p.throttle, nullptr);
      }
      const double mid = t_ + dt_ * 0.5;
      const double avail = p.throttle * car_.fullDriveForceN(v_) * rampFactor(mid) * shiftFactor(mid);
      const Forces r = resistance();
      const double aFree = (avail - r.total()) / car_.massKg;
      const double sNext = s_ + v_ * dt_ + 0.5 * aFree * dt_ * dt_;
      const double cap = envelopeAt(sNext);
      double a = aFree;
      bool free = true;
      if (v_ + aFree * dt_ > cap) {
        const double aMin = -(car_.maxBrakeG * car_.massKg * kGravity + r.total()) / car_.massKg;
        a = std::max((cap - v_) / dt_, aMin);
        free = false;
      }
      const double needed = car_.massKg * a + r.total();
      const double drive = needed > 0.0 ? needed : 0.0;
      const double brake = needed > 0.0 ? 0.0 : -needed;
      if (a < 0.0 && v_ + a * dt_ <= 0.0) {
        advance(a, -v_ / a, drive, brake, r, false);
        v_ = 0.0;
      } else {
        advance(a, dt_, drive, brake, r, free);
      }
      checkRoad("drive");
      if (t_ > kMaxDriveS) throw std::invalid_argument("the drive never reaches its end");
    }
  }

  DriveTrace finish() {
    trace_.endTimeS = t_;
    return std::move(trace_);
  }

 private:
  struct Forces {
    double drag = 0.0, rolling = 0.0, grade = 0.0;
    double total() const { return drag + rolling + grade; }
  };

  Forces resistance() const {
    Forces f;
    f.drag = car_.dragForceN(v_);
    f.rolling = v_ > 0.0 ? car_.rollingForceN() : 0.0;
    f.grade = car_.massKg * kGravity * path_.at(s_).gradient;
    return f;
  }

  void hold(double seconds) {
    if (seconds <= 0.0) return;
    Step st;
    st.tS = t_;
    st.dtS = seconds;
    st.sM = s_;
    trace_.steps.push_back(st);
    t_ += seconds;
  }

  // Clutch take-up from rest: the drive force rises from 0 as the car's
  // take-up ramp or the run's launch shape has it, and the car stays put
  // until it overcomes rolling resistance and any slope, so the moment the
  // speed leaves 0 is known exactly.
  void launch(double throttle, const LaunchShape* shape) {
    const double needed = car_.rollingForceN() + std::max(0.0, car_.massKg * kGravity * path_.at(s_).gradient);
    const double full = throttle * car_.fullDriveForceN(0.0);
    if (!(full > needed)) throw std::invalid_argument("the car cannot pull away here (throttle too low or slope too steep)");
    shape_ = shape;
    double delay = car_.launchRampS * needed / full;
    launchEndS_ = car_.launchRampS;
    shiftSpeeds_ = &car_.shiftSpeedsMps;
    shiftTimeS_ = car_.shiftTimeS;
    shiftShare_ = car_.shiftForceShare;
    if (shape != nullptr) {
      delay = shape->firstReaching(needed / full);
      if (delay < 0.0) throw std::invalid_argument("the launch shape never gives the force to pull away");
      launchEndS_ = shape->endS();
      shiftSpeeds_ = &shape->shiftSpeedsMps;
      shiftTimeS_ = shape->shiftTimeS;
      shiftShare_ = shape->shiftForceShare;
    }
    rampStart_ = t_;
    hold(delay);
    gear_ = 0;
    shiftEnd_ = -1.0;
  }

  double rampFactor(double t) const {
    if (shape_ != nullptr) return shape_->shareAt(t - rampStart_);
    if (car_.launchRampS <= 0.0) return 1.0;
    return std::clamp((t - rampStart_) / car_.launchRampS, 0.0, 1.0);
  }

  double shiftFactor(double t) const { return t < shiftEnd_ ? shiftShare_ : 1.0; }

  void brakeToStop() {
    const double start = t_;
    while (v_ > 0.0) {
      const double mid = t_ + dt_ * 0.5;
      const double ramp = car_.brakeRampS > 0.0 ? std::min(1.0, (mid - start) / car_.brakeRampS) : 1.0;
      const double brake = car_.brakeG * car_.massKg * kGravity * ramp;
      const Forces r = resistance();
      const double a = -(brake + r.total()) / car_.massKg;
      if (!(a < 0.0)) {
        if (t_ - start > car_.brakeRampS) throw std::invalid_argument("the brakes cannot hold the car on this slope");
      }
      if (a < 0.0 && v_ + a * dt_ <= 0.0) {
        advance(a, -v_ / a, 0.0, brake, r, false);
        v_ = 0.0;
      } else {
        advance(a, dt_, 0.0, brake, r, false);
      }
      checkRoad("run");
      checkStraight();
    }
  }

  void advance(double a, double dt, double drive, double brake, const Forces& r, bool underPower) {
    Step st;
    st.tS = t_;
    st.dtS = dt;
    st.sM = s_;
    st.vMps = v_;
    st.aMps2 = a;
    st.driveN = drive;
    st.brakeN = brake;
    st.dragN = r.drag;
    st.rollingN = r.rolling;
    st.gradeN = r.grade;
    trace_.steps.push_back(st);
    s_ += v_ * dt + 0.5 * a * dt * dt;
    v_ += a * dt;
    t_ += dt;
    if (v_ < 0.0) v_ = 0.0;
    const auto& shifts = *shiftSpeeds_;
    if (underPower && gear_ < static_cast<int>(shifts.size()) && v_ >= shifts[static_cast<std::size_t>(gear_)]) {
      ++gear_;
      shiftEnd_ = t_ + shiftTimeS_;
    }
    while (gear_ > 0 && v_ < shifts[static_cast<std::size_t>(gear_ - 1)] - 5.0) --gear_;
  }

  void checkRoad(const char* what) const {
    if (s_ > path_.lengthM() + 1e-6)
      throw std::invalid_argument(std::string("the road ends before the ") + what + " does");
  }

  // Runs take no notice of corners, so they must stay on straight road.
  void checkStraight() const {
    if (path_.segments().empty()) return;
    if (path_.segments()[path_.segmentIndexAt(s_)].kind != Segment::Kind::Straight)
      throw std::invalid_argument("a run must stay on the straight; this one goes into a bend");
  }

  // The driver's speed plan from `fromM` to a stop at `stopM`: road limits,
  // corner speeds, and braking early enough for each at the driver's
  // firm-braking rate. Linear interpolation between grid points stays at or
  // below the braking curve (it is concave), so following it never asks for
  // more than that rate.
  void buildEnvelope(double fromM, double stopM) {
    envFrom_ = fromM;
    const std::size_t n = static_cast<std::size_t>(std::ceil((stopM - fromM) / grid_)) + 1;
    env_.assign(std::max<std::size_t>(n, 2), 0.0);
    auto limitAt = [&](double s) {
      if (s >= stopM) return 0.0;
      const std::size_t i = path_.segmentIndexAt(s);
      const Segment& seg = path_.segments()[i];
      double lim = seg.speedCapMps;
      if (seg.kind == Segment::Kind::Arc) lim = std::min(lim, car_.cornerSpeedMps(seg.radiusM));
      return lim;
    };
    for (std::size_t i = 0; i < env_.size(); ++i) {
      const double s = fromM + static_cast<double>(i) * grid_;
      env_[i] = std::min({limitAt(std::max(fromM, s - grid_)), limitAt(s), limitAt(s + grid_)});
    }
    env_.back() = 0.0;
    const double twoAh = 2.0 * car_.brakeG * kGravity * grid_;
    for (std::size_t i = env_.size() - 1; i-- > 0;) env_[i] = std::min(env_[i], std::sqrt(env_[i + 1] * env_[i + 1] + twoAh));
    envStop_ = stopM;
  }

  double envelopeAt(double s) const {
    if (s >= envStop_) return 0.0;
    // The last stretch follows the braking curve itself: followed step by
    // step, a straight-line ramp to 0 would only ever halve the gap and the
    // car would never quite stop.
    if (envStop_ - s < 2.0 * grid_)
      return std::min(interpolate(envStop_ - 2.0 * grid_), std::sqrt(2.0 * car_.brakeG * kGravity * (envStop_ - s)));
    return interpolate(s);
  }

  double interpolate(double s) const {
    const double x = std::max(0.0, (s - envFrom_) / grid_);
    const std::size_t i = std::min(static_cast<std::size_t>(x), env_.size() - 2);
    const double f = std::min(1.0, x - static_cast<double>(i));
    return env_[i] + (env_[i + 1] - env_[i]) * f;
  }

  const Path& path_;
  const VehicleParams& car_;
  double dt_;
  double grid_;
  DriveTrace trace_;
  double t_ = 0.0, s_ = 0.0, v_ = 0.0;
  double rampStart_ = -1e9;
  const LaunchShape* shape_ = nullptr;
  double launchEndS_ = 0.0;
  const std::vector<double>* shiftSpeeds_;
  double shiftTimeS_;
  double shiftShare_;
  int gear_ = 0;
  double shiftEnd_ = -1.0;
  std::vector<double> env_;
  double envFrom_ = 0.0, envStop_ = 0.0;
};

}  // namespace

DriveTrace runDrive(const Path& path, const VehicleParams& car, const std::vector<Phase>& phases,
                    const DriveOptions& options) {
  Integrator in(path, car, options);
  for (std::size_t k = 0; k < phases.size(); ++k) {
    const Phase& p = phases[k];
    switch (p.kind) {
      case Phase::Kind::Wait:
        in.wait(p.durationS);
        break;
      case Phase::Kind::Run:
        in.run(p);
        break;
      case Phase::Kind::DriveTo: {
        // A drive that does not stop plans ahead to the next place where the
        // car must be at rest: the end of the next stopping drive.
        double stopM = p.toPathM;
        Phase effective = p;
        std::size_t j = k;
        while (!phases[j].stopAtEnd && j + 1 < phases.size() && phases[j + 1].kind == Phase::Kind::DriveTo) ++j;
        if (!phases[j].stopAtEnd && j == k) effective.stopAtEnd = true;
        stopM = phases[j].toPathM;
        in.driveTo(effective, stopM);
        break;
      }
    }
  }
  return in.finish();
}

}  // namespace corvantis::sim
