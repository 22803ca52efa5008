// corvantis-records: prints what an options file keeps (every stored run and
// lap time, by definition, as the records screen lists them) and the stored
// traces, for a spreadsheet or a plotting tool. It only reads the file.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/units.h"
#include "platform/posix/files.h"
#include "store/theoretical_best.h"
#include "store/options_file.h"
#include "store/reference_lap_store.h"
#include "tools/records/records_report.h"
#include "tools/records/timeslip_report.h"

namespace {

using namespace corvantis;

constexpr int kExitDone = 0;
constexpr int kExitNoFile = 1;
constexpr int kExitBadInput = 2;

void printUsage(std::ostream& out) {
  out << "usage: corvantis-records [--options FILE] [--metric] [--json | --csv] [--trace N]... [--timeslip N]...\n\n"
         "Prints every run and lap time stored in an options file, by definition, in the\n"
         "texts of the records screen: its time, date and time of day, the best mark and\n"
         "the definition's average, and each lap track's theoretical best (the sum of its\n"
         "best segments, from the reference laps kept beside the file). The files are\n"
         "only read, never changed; while the program runs on the options file, it lists\n"
         "what the program has saved (every time as it is stored). Control characters in\n"
         "track names are shown as \\xHH.\n\n"
         "  --options FILE  the options file (default " << defaultOptionsPath() << ";\n"
         "                  the demo keeps its own, demo-options.bin, beside it)\n"
         "  --metric        kph and metres (default: the units the file's settings hold)\n"
         "  --json          one JSON object per stored time, one a line\n"
         "  --csv           CSV with a header, one line per stored time\n"
         "  --trace N       instead, the stored trace of time N (the number in the\n"
         "                  listing) as CSV: record,time_s,speed_mph,distance_yd\n"
         "                  (speed_kph,distance_m with --metric); give it again for more\n"
         "  --timeslip N    instead, the drag-strip time slip of time N made from its\n"
         "                  trace, every figure with the half-width of its 95 % interval\n"
         "                  (trap speeds in km/h with --metric); give it again for more\n"
         "  --help          show this text\n"
         "  --version       show the version\n\n"
         "Exit status: 0 done, 1 no options file yet or a time without a slip, 2 bad\n"
         "arguments, an unknown N, or a file that cannot be read.\n";
}

int usageError(const std::string& message) {
  std::cerr << "corvantis-records: " << message << "\nTry 'corvantis-records --help'.\n";
  return kExitBadInput;
}

bool parseNumber(const std::string& text, int& number) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  number = std::atoi(text.c_str());
  return number >= 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string optionsPath = defaultOptionsPath();
  bool forceMetric = false, json = false, csv = false;
  std::vector<int> traces, timeSlips;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      printUsage(std::cout);
      return kExitDone;
    } else if (arg == "--version") {
      std::cout << "corvantis-records 1.0.0\n";
      return kExitDone;
    } else if (arg == "--options") {
      if (!value(optionsPath)) return usageError("--options needs FILE");
    } else if (arg == "--metric") {
      forceMetric = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--csv") {
      csv = true;
    } else if (arg == "--trace") {
      int number = 0;
      if (!value(text) || !parseNumber(text, number)) return usageError("--trace needs N, a number from the listing");
      traces.push_back(number);
    } else if (arg == "--timeslip") {
      int number = 0;
      if (!value(text) || !parseNumber(text, number)) return usageError("--timeslip needs N, a number from the listing");
      timeSlips.push_back(number);
    } else {
      return usageError("unknown argument " + arg);
    }
  }
  if (json && csv) return usageError("give --json or --csv, not both");
  if (json && !traces.empty()) return usageError("a trace is written as CSV: --trace and --json do not go together");
  if (!timeSlips.empty() && (json || csv || !traces.empty())) {
    return usageError("a time slip is printed as text: --timeslip goes with none of --json, --csv and --trace");
  }

  platform::PosixFiles files;
  // A reader's lock, so that no program that writes the file starts while
  // this reads it. A program already running holds the file for its whole
  // session; its saves replace the file whole, so what is read then is
  // what it has saved, and this says so rather than waiting for it.
  platform::FileLock lock;
  const platform::FileLock::Result held = lock.acquire(optionsPath, platform::FileLock::Kind::Shared, "", 0);
  if (held.status == platform::FileLock::Status::Busy) {
    std::cerr << "corvantis-records: " << optionsPath << " is held by " << held.holder
              << "; listed as it was last saved\n";
  }
  // Judged by its size first, as the program judges it: a file far larger
  // than its counts allow is never read into memory.
  const platform::FileRead read = readOptionsFile(files, optionsPath);
  if (read.status == platform::FileRead::Status::NotFound) {
    std::cerr << "corvantis-records: there is no options file at " << optionsPath
              << " yet: nothing has been stored\n";
    return kExitNoFile;
  }
  if (read.status != platform::FileRead::Status::Ok) {
    std::cerr << "corvantis-records: The options file " << optionsPath << " could not be read ("
              << optionsReadProblem(read) << ").\n";
    return kExitBadInput;
  }
  Settings settings;
  loadSettingsDefaults(settings);
  RunRecords records;
  LapDefinitions laps;
  const DecodeReport report = decodeOptions(read.bytes, settings, records, laps);
  if (!report.ok()) {
    // The program's own words for a damaged file; this tool leaves it where it is.
    std::cerr << "corvantis-records: The options file " << optionsPath << " could not be read (" << report.problem
              << "). It was left as it is.\n";
    return kExitBadInput;
  }
  // The units of the file's settings, as the records screen shows them, unless --metric.
  const int units = forceMetric || settings.units == units::kMetric ? units::kMetric : units::kImperial;
  std::vector<records::Category> categories = records::listRecords(records, laps, units);
  // Each track's segment times are kept beside the options file; this tool
  // only peeks at them (a damaged one is left for the program to set aside).
  ReferenceLapStore kept;
  kept.keepIn(files, ReferenceLapStore::folderBeside(optionsPath));
  std::vector<uint32_t> theoreticalBests;
  for (int j = 0; j < laps.count(); ++j) {
    const ReferenceLapStore::Loaded loaded = kept.peek(laps.at(j));
    const bool found = loaded.status == ReferenceLapStore::Loaded::Status::Kept;
    theoreticalBests.push_back(trackTheoreticalBest(laps.at(j), found ? &loaded.kept : nullptr, laps.bestLapTime(j)));
  }
  records::setTheoreticalBests(categories, theoreticalBests);

  std::string out;
  if (!timeSlips.empty()) {
    for (const int number : timeSlips) {
      const records::Category* category = nullptr;
      const records::ListedTime* time = records::findTime(categories, number, &category);
      if (time == nullptr) {
        std::cerr << "corvantis-records: there is no stored time " << number << " (see the listing)\n";
        return kExitBadInput;
      }
      std::string text, why;
      if (!records::timeSlipText(*category, *time, units, text, why)) {
        std::cerr << "corvantis-records: stored time " << number << " has no time slip: " << why << "\n";
        return kExitNoFile;
      }
      if (!out.empty()) out += "\n";
      out += text;
    }
  } else if (!traces.empty()) {
    out = records::traceCsvHeader(units);
    for (const int number : traces) {
      const records::Category* category = nullptr;
      const records::ListedTime* time = records::findTime(categories, number, &category);
      if (time == nullptr) {
        std::cerr << "corvantis-records: there is no stored time " << number << " (see the listing)\n";
        return kExitBadInput;
      }
      out += records::traceCsvLines(*category, *time, units);
    }
  } else if (json) {
    out = records::jsonReport(categories);
  } else if (csv) {
    out = records::csvReport(categories);
  } else {
    out = records::plainReport(categories);
  }
  std::cout << out;
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "corvantis-records: writing the output failed\n";
    return kExitBadInput;
  }
  return kExitDone;
}
