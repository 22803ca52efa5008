#pragma once
// Reading simulated logs back in the tests: sentences, fields, checksums.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvantis::sim::testing {

// Every "$...\r\n" sentence of a log, with its line end.
inline std::vector<std::string> sentencesOf(const std::string& log) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while ((at = log.find('$', at)) != std::string::npos) {
    const std::size_t end = log.find("\r\n", at);
    if (end == std::string::npos) break;
    out.push_back(log.substr(at, end + 2 - at));
    at = end + 2;
  }
  return out;
}

// Fields between "$" and "*", split at commas (field 0 is the tag).
inline std::vector<std::string> fieldsOf(const std::string& sentence) {
  const std::size_t star = sentence.find('*');
  const std::string body = sentence.substr(1, star == std::string::npos ? std::string::npos : star - 1);
  std::vector<std::string> f;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = body.find(',', at);
    f.push_back(body.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return f;
}

// True when the sentence ends "*HH\r\n" and HH is the XOR of its body.
inline bool checksumOk(const std::string& sentence) {
  const std::size_t star = sentence.find('*');
  if (sentence.empty() || sentence[0] != '$' || star == std::string::npos || star + 5 != sentence.size()) return false;
  unsigned x = 0;
  for (std::size_t i = 1; i < star; ++i) x ^= static_cast<unsigned char>(sentence[i]);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", x);
  return sentence.compare(star + 1, 2, hex) == 0 && sentence.compare(star + 3, 2, "\r\n") == 0;
}

// ddmm.mmmm / dddmm.mmmm with hemisphere to signed degrees.
inline double degreesOf(const std::string& field, int degreeDigits, const std::string& hemisphere) {
  const double deg = std::atof(field.substr(0, static_cast<std::size_t>(degreeDigits)).c_str());
  const double min = std::atof(field.substr(static_cast<std::size_t>(degreeDigits)).c_str());
  const double v = deg + min / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

}  // namespace corvantis::sim::testing
