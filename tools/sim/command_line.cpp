#include "tools/sim/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tools/sim/launch_family.h"
#include "tools/sim/random.h"

namespace corvantis::sim {
namespace {

double parseNumber(const std::string& option, const std::string& text) {
  double v = 0.0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (!text.empty() && *begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(v))
    throw std::invalid_argument(option + ": \"" + text + "\" is not a number");
  return v;
}

long long parseInteger(const std::string& option, const std::string& text, long long lo, long long hi) {
  long long v = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (text.empty() || ec != std::errc() || ptr != end)
    throw std::invalid_argument(option + ": \"" + text + "\" is not a whole number");
  if (v < lo || v > hi)
    throw std::invalid_argument(option + ": " + text + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  return v;
}

std::vector<double> parseList(const std::string& option, const std::string& text) {
  std::vector<double> out;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    out.push_back(parseNumber(option, text.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return out;
}

// HH:MM:SS or HH:MM:SS.sss, UTC.
uint32_t parseTimeOfDay(const std::string& option, const std::string& text) {
  int h = 0, m = 0, s = 0, consumed = 0;
  if (std::sscanf(text.c_str(), "%2d:%2d:%2d%n", &h, &m, &s, &consumed) != 3 || consumed != 8 || text.size() < 8)
    throw std::invalid_argument(option + ": \"" + text + "\" is not a time HH:MM:SS[.sss]");
  uint32_t ms = 0;
  if (text.size() > 8) {
    if (text[8] != '.' || text.size() < 10 || text.size() > 12)
      throw std::invalid_argument(option + ": \"" + text + "\" is not a time HH:MM:SS[.sss]");
    std::string frac = text.substr(9);
    for (char c : frac)
      if (c < '0' || c > '9') throw std::invalid_argument(option + ": \"" + text + "\" is not a time HH:MM:SS[.sss]");
    while (frac.size() < 3) frac += '0';
    ms = static_cast<uint32_t>(std::stoi(frac));
  }
  if (h > 23 || m > 59 || s > 59 || h < 0 || m < 0 || s < 0)
    throw std::invalid_argument(option + ": \"" + text + "\" is not a time of day");
  return static_cast<uint32_t>(((h * 60 + m) * 60 + s) * 1000) + ms;
}

UtcDate parseDate(const std::string& option, const std::string& text) {
  UtcDate d;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &d.year, &d.month, &d.day, &consumed) != 3 ||
      consumed != static_cast<int>(text.size()) || text.size() != 10 || !d.valid())
    throw std::invalid_argument(option + ": \"" + text + "\" is not a date YYYY-MM-DD (1980 to 2179)");
  return d;
}

}  // namespace

std::string usageText() {
  return R"(Usage: corvantis-sim [SCENARIO] [OPTIONS]
Writes a simulated NMEA 0183 drive and, on request, its true event times (JSON).

Scenarios:
  accel      stand, launch, accelerate to --to-mph, brake, stop (--runs times)
  quarter    standing runs over --distance metres (default a quarter mile)
  laps       along the access road onto the built-in circuit (about 2.1 km,
             12 corners), an out lap, --laps timed laps, then off and stop
  demo       (default) one loop that ends where it starts: a flat-out launch
             through the quarter mile, laps of the circuit, back and stop
  launches   standing runs as in quarter, by a car drawn from --seed, each
             launch drawn from a family: a step, a take-up ramp (straight
             or S-shaped, some from the bite point) of up to 0.5 s, a creep,
             wheelspin, a slipping clutch, and gear changes at any speed (the
             truth names each launch)

Output:
  -o, --output FILE       the NMEA log (default, or "-": standard output)
  -t, --truth FILE        the true times as JSON
  -h, --help              this text

Receiver:
  --rate HZ               fix rate: 1, 5, 10, 20 or 25 (default 1)
  --start HH:MM:SS[.sss]  UTC time of day at the start (default 12:00:00)
  --date YYYY-MM-DD       UTC date at the start (default 2026-06-13)
  --seed N                random seed for noise, sky and damage (default 1)
  --no-noise              exact positions (to the format's resolution)
  --white-noise M         white position noise at 1 Hz, 1 sigma per axis (default 0.05;
                          higher rates smooth it in proportion)
  --static-hold MPS       below this speed a noisy receiver holds its position (default 0.3; 0: never)
  --bias-noise M          slowly wandering bias, 1 sigma per axis (default 0.5)
  --bias-time S           the bias's correlation time (default 120)
  --speed-noise MPS       error of the Doppler speed over ground, 1 sigma (default 0.05)
  --speed-length          the speed over ground the length of the noisy velocity (the
                          noise on each axis): a standing car reads a small speed
  --vtg                   also write $--VTG (course and speed over ground) each fix
  --full-sentences        every epoch the whole sentence set of a multi-system receiver:
                          GSA and GSV of GPS, GLONASS, Galileo and BeiDou and a GLL
                          (about 1.5 KB a fix, as such receivers send out of the box)
  --no-rmc                no $--RMC (with --vtg the speed comes from $--VTG alone)
  --speed-decimals N      decimals of the speeds in knots and km/h (default 3; 1: 0.1 kn)
  --fix-noise M           white noise of every fix as it is, whatever the rate (default 0)
  --random-receiver       draw the receiver from --seed as the launches family does:
                          noise up to 0.3 m a fix with a wandering bias, Doppler noise
                          (half as the velocity's length), resolutions, static hold,
                          which speed sentences (keeps --rate and --no-noise)
  --talker XX             talker of GGA, RMC and GSA (default GP; GN for a multi-system receiver)
  --decimals N            decimals of the minutes in positions (default 4: ddmm.mmmm)
  --time-decimals N       decimals of the seconds in times (default 2: hhmmss.ss)
  --dropouts N            mean fix dropouts a minute (default 0)
  --dropout-length S      mean dropout length (default 2)
  --corrupt P             probability of a flipped bit in each sentence (default 0)
  --binary P              probability of a binary packet after each epoch (default 0)

Drive:
  --to-mph V              accel: lift and brake at this speed (default 70)
  --distance M            quarter, demo: the distance run's length (default 402.336)
  --overrun M             quarter: full throttle this far past it (default 30)
  --runs N                accel, quarter: number of runs (default 1)
  --laps N                laps, demo: timed laps (default 3 for laps, 2 for demo)
  --splits M,M,...        laps, demo: split points, metres from start/finish (default thirds)
  --launch KIND           launches: every launch of this kind (step, ramp, creep,
                          wheelspin, clutch slip; default: drawn per run)
  --speeds MPH,...        speeds whose passing the truth reports
                          (default 10,20,...,60,62.137 (100 km/h),70,...,120)
  --distances M,...       distances the truth reports (default 201.168,402.336,400,800)
  --wait S                standstill before the first run (default 10)
  --between S             standstill between runs (default 12)
  --end-wait S            standstill at the end (default 5)
  --heading DEG           accel, quarter: direction of the strip (default 74)
  --grade PERCENT         accel, quarter: slope of the strip (default 0)
  --altitude M            accel, quarter: altitude at the start (default 96)
  --origin LAT,LON        where the drive lies (degrees, south and west negative)
  --power-kw P            power at the wheels (default 215)
  --mass-kg M             mass with driver (default 1550)
  --traction-g G          launch traction limit, share of weight (default 0.62)
  --grip-g G              lateral grip (default 1.0)
  --no-shift-dips         no loss of drive during gear changes
  --step-ms MS            integration step, at most 1 (default 1)

Parked on the line (laps, demo):
  --park-on-line S        stop just past the start/finish line after a timed lap and stand S seconds
  --park-after-lap K      the timed lap that ends on the parking (default the last)
  --park-past-line M      where the car comes to rest, metres past the line (negative: short of it; default 0.5)
  --park-jitter M         standing fixes wander by M, 1 sigma per axis (default 0: as the receiver holds them)

Example:
  corvantis-sim quarter --rate 10 --no-noise --seed 7 -o quarter.nmea -t quarter.json
)";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  bool scenarioSeen = false;
  bool randomReceiver = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
      return args[++i];
    };
    auto number = [&]() { return parseNumber(a, value()); };
    auto range = [&](double lo, double hi) {
      const double v = number();
      if (v < lo || v > hi)
        throw std::invalid_argument(a + ": " + args[i] + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
      return v;
    };
    ScenarioParams& sp = cl.scenarioParams;
    ReceiverOptions& rx = cl.receiver;
    if (a == "-h" || a == "--help") {
      cl.help = true;
    } else if (a == "-o" || a == "--output") {
      cl.outputPath = value();
    } else if (a == "-t" || a == "--truth") {
      cl.truthPath = value();
    } else if (a == "--rate") {
      rx.rateHz = static_cast<int>(parseInteger(a, value(), 1, 25));
    } else if (a == "--start") {
      rx.startTimeOfDayMs = parseTimeOfDay(a, value());
    } else if (a == "--date") {
      rx.startDate = parseDate(a, value());
    } else if (a == "--seed") {
      const std::string& v = value();
      unsigned long long s = 0;
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
      if (v.empty() || ec != std::errc() || ptr != v.data() + v.size())
        throw std::invalid_argument(a + ": \"" + v + "\" is not a whole number from 0 to 18446744073709551615");
      rx.seed = s;
    } else if (a == "--no-noise") {
      rx.noise = false;
    } else if (a == "--white-noise") {
      rx.whiteNoiseM = range(0.0, 100.0);
    } else if (a == "--static-hold") {
      rx.staticHoldMps = range(0.0, 5.0);
    } else if (a == "--bias-noise") {
      rx.biasNoiseM = range(0.0, 100.0);
    } else if (a == "--bias-time") {
      rx.biasTimeS = range(0.1, 1e6);
    } else if (a == "--speed-noise") {
      rx.speedNoiseMps = range(0.0, 10.0);
    } else if (a == "--speed-length") {
      rx.speedIsLength = true;
    } else if (a == "--vtg") {
      rx.vtg = true;
    } else if (a == "--full-sentences") {
      rx.fullSentenceSets = true;
    } else if (a == "--no-rmc") {
      rx.rmc = false;
    } else if (a == "--speed-decimals") {
      rx.speedDecimals = static_cast<int>(parseInteger(a, value(), 0, 4));
    } else if (a == "--fix-noise") {
      rx.fixNoiseM = range(0.0, 100.0);
    } else if (a == "--random-receiver") {
      randomReceiver = true;
    } else if (a == "--launch") {
      sp.launchKind = value();
      bool known = sp.launchKind == "any";
      for (const std::string& kind : launchKinds()) known = known || kind == sp.launchKind;
      if (!known) throw std::invalid_argument("--launch: unknown launch \"" + sp.launchKind + "\" (step, ramp, creep, wheelspin, clutch slip or any)");
    } else if (a == "--talker") {
      rx.talker = value();
    } else if (a == "--decimals") {
      rx.minuteDecimals = static_cast<int>(parseInteger(a, value(), 1, 8));
    } else if (a == "--time-decimals") {
      rx.timeDecimals = static_cast<int>(parseInteger(a, value(), 0, 3));
    } else if (a == "--dropouts") {
      rx.dropoutsPerMinute = range(0.0, 60.0);
    } else if (a == "--dropout-length") {
      rx.dropoutMeanS = range(0.01, 600.0);
    } else if (a == "--corrupt") {
      rx.corruptProbability = range(0.0, 1.0);
    } else if (a == "--binary") {
      rx.binaryProbability = range(0.0, 1.0);
    } else if (a == "--to-mph") {
      sp.toMph = number();
    } else if (a == "--distance") {
      sp.distanceM = number();
    } else if (a == "--overrun") {
      sp.overrunM = number();
    } else if (a == "--runs") {
      sp.runs = static_cast<int>(parseInteger(a, value(), 1, 50));
    } else if (a == "--laps") {
      sp.laps = static_cast<int>(parseInteger(a, value(), 1, 20));
    } else if (a == "--splits") {
      sp.splitsM = parseList(a, value());
    } else if (a == "--speeds") {
      sp.speedsMph = parseList(a, value());
    } else if (a == "--distances") {
      sp.distancesM = parseList(a, value());
    } else if (a == "--wait") {
      sp.waitS = number();
    } else if (a == "--between") {
      sp.betweenS = number();
    } else if (a == "--end-wait") {
      sp.endWaitS = number();
    } else if (a == "--heading") {
      sp.headingDeg = range(-360.0, 360.0);
    } else if (a == "--grade") {
      sp.gradePercent = number();
    } else if (a == "--altitude") {
      sp.altitudeM = range(-400.0, 9000.0);
    } else if (a == "--origin") {
      const std::vector<double> ll = parseList(a, value());
      if (ll.size() != 2) throw std::invalid_argument(a + ": give LAT,LON in degrees");
      sp.origin = GeoOrigin{ll[0], ll[1]};
    } else if (a == "--power-kw") {
      sp.car.powerW = range(20.0, 2000.0) * 1000.0;
    } else if (a == "--mass-kg") {
      sp.car.massKg = range(300.0, 5000.0);
    } else if (a == "--traction-g") {
      sp.car.tractionG = range(0.1, 2.0);
    } else if (a == "--grip-g") {
      sp.car.lateralGripG = range(0.2, 3.0);
    } else if (a == "--no-shift-dips") {
      sp.car.shiftSpeedsMps.clear();
    } else if (a == "--park-on-line") {
      cl.parking.parkS = range(0.1, 3600.0);
    } else if (a == "--park-after-lap") {
      cl.parking.afterLap = static_cast<int>(parseInteger(a, value(), 1, 20));
    } else if (a == "--park-past-line") {
      cl.parking.pastLineM = range(-30.0, 30.0);
    } else if (a == "--park-jitter") {
      cl.parking.jitterM = range(0.0, 20.0);
    } else if (a == "--step-ms") {
      cl.drive.stepS = range(0.01, 1.0) / 1000.0;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw std::invalid_argument("unknown option " + a + " (see --help)");
    } else {
      if (scenarioSeen) throw std::invalid_argument("one scenario only: \"" + cl.scenario + "\" and \"" + a + "\"");
      const auto& names = scenarioNames();
      bool known = false;
      for (const std::string& n : names) known = known || n == a;
      if (!known) throw std::invalid_argument("unknown scenario \"" + a + "\" (accel, quarter, laps, demo or launches)");
      cl.scenario = a;
      scenarioSeen = true;
    }
  }
  cl.scenarioParams.familySeed = cl.receiver.seed;
  if (randomReceiver) {
    Random rng(cl.receiver.seed * 0x9E3779B97F4A7C15ull + 7);
    drawFamilyReceiver(rng, cl.receiver);
  }
  if (!cl.help) cl.receiver.validate();
  return cl;
}

}  // namespace corvantis::sim
