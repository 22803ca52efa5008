#pragma once
// Errors of one kind of slip figure against the truth, with the ± the slip
// gave each: percentiles of the error, the share of ± that hold it, and the
// factor on every ± that would make 95 % of them hold it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace corvantis::bench {

struct Sample {
  std::vector<double> errors;
  std::vector<double> ratios;  // |error| / ±
  int covered = 0;
  double pmSum = 0.0;
  void add(double error, double pm) {
    errors.push_back(std::fabs(error));
    ratios.push_back(pm > 0.0 ? std::fabs(error) / pm : 1e9);
    if (std::fabs(error) <= pm) ++covered;
    pmSum += pm;
  }
  void add(double error) { errors.push_back(std::fabs(error)); }
  double percentile(double p) const {
    if (errors.empty()) return NAN;
    std::vector<double> v = errors;
    std::sort(v.begin(), v.end());
    const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
  }
  // The factor on every ± that would make 95 % of them hold the truth.
  double neededScale() const {
    if (ratios.empty()) return NAN;
    std::vector<double> v = ratios;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(0.95 * static_cast<double>(v.size()))) - 1)];
  }
  double coverage() const { return errors.empty() ? NAN : 100.0 * covered / static_cast<double>(errors.size()); }
  double meanPm() const { return errors.empty() ? NAN : pmSum / static_cast<double>(errors.size()); }
};

inline void printRow(const char* what, const Sample& s, const char* unit) {
  std::printf(" %s %.1f/%.1f/%.1f %s (%.1f %% in ±, mean ± %.1f) |", what, s.percentile(0.5), s.percentile(0.95),
              s.percentile(1.0), unit, s.coverage(), s.meanPm());
}

}  // namespace corvantis::bench
