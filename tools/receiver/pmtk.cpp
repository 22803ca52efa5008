#include "tools/receiver/pmtk.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace corvantis::receiver::pmtk {
namespace {

// The fields between the tag and the "*" (or the end).
std::vector<std::string> fieldsAfter(std::string_view text, std::string_view tag) {
  std::vector<std::string> fields;
  if (text.substr(0, tag.size()) != tag) return fields;
  const std::size_t star = text.find('*');
  std::string_view rest = text.substr(tag.size(), star == std::string_view::npos ? std::string_view::npos
                                                                                 : star - tag.size());
  while (!rest.empty() && rest.front() == ',') {
    rest.remove_prefix(1);
    const std::size_t comma = rest.find(',');
    fields.emplace_back(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma);
  }
  return fields;
}

bool wholeNumber(const std::string& text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  char* end = nullptr;
  value = static_cast<int>(std::strtol(text.c_str(), &end, 10));
  return *end == '\0';
}

}  // namespace

std::string sentence(std::string_view body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + std::string(body) + tail;
}

std::string firmwareQuery() { return sentence("PMTK605"); }
std::string setFixInterval(int periodMs) { return sentence("PMTK220," + std::to_string(periodMs)); }
std::string setBaud(uint32_t baud) { return sentence("PMTK251," + std::to_string(baud)); }
std::string querySentenceRates() { return sentence("PMTK414"); }

std::string setSentenceRates(const SentenceRates& rates) {
  std::string body = "PMTK314";
  for (const int rate : rates) body += "," + std::to_string(rate);
  return sentence(body);
}

const char* flagMeaning(int flag) {
  switch (flag) {
    case 0: return "invalid command";
    case 1: return "unsupported command";
    case 2: return "valid command, but the action failed";
    case 3: return "done";
    default: return "unknown answer";
  }
}

std::optional<Acknowledgement> parseAcknowledgement(std::string_view text) {
  const std::vector<std::string> fields = fieldsAfter(text, "$PMTK001");
  Acknowledgement ack;
  if (fields.size() < 2 || !wholeNumber(fields[0], ack.command) || !wholeNumber(fields[1], ack.flag)) {
    return std::nullopt;
  }
  return ack;
}

std::optional<std::string> parseFirmware(std::string_view text) {
  const std::vector<std::string> fields = fieldsAfter(text, "$PMTK705");
  if (fields.empty()) return std::nullopt;
  std::string firmware;
  for (const std::string& f : fields) {
    if (f.empty()) continue;
    if (!firmware.empty()) firmware += ", ";
    firmware += f;
  }
  return firmware;
}

std::optional<SentenceRates> parseSentenceRates(std::string_view text) {
  const std::vector<std::string> fields = fieldsAfter(text, "$PMTK514");
  // Older firmware lists fewer fields; the ones not given stay off.
  if (fields.size() < 6 || fields.size() > static_cast<std::size_t>(kRateFields)) return std::nullopt;
  SentenceRates rates{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!wholeNumber(fields[i], rates[i])) return std::nullopt;
  }
  return rates;
}

}  // namespace corvantis::receiver::pmtk
