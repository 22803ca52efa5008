#pragma once
// The PMTK commands of MediaTek receivers (and the Quectel, GlobalTop and
// other modules built on them), from the makers' public command sheets:
// NMEA-framed "$PMTKnnn,...*hh" sentences, each answered with
// "$PMTK001,nnn,flag" (0 invalid, 1 unsupported, 2 valid but failed,
// 3 done) or, for queries, a reply sentence of its own.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvantis::receiver::pmtk {

// "$" + body + "*" + the two hex digits of its checksum + CR LF.
std::string sentence(std::string_view body);

std::string firmwareQuery();                    // PMTK605, answered by PMTK705
std::string setFixInterval(int periodMs);       // PMTK220
std::string setBaud(uint32_t baud);             // PMTK251
std::string querySentenceRates();               // PMTK414, answered by PMTK514

// Output rates of the sentences, one field each as PMTK314 and PMTK514
// order them: 0 GLL, 1 RMC, 2 VTG, 3 GGA, 4 GSA, 5 GSV, ... 17 ZDA, 18 MCHN;
// each the number of fixes between two outputs (0: never).
inline constexpr int kRateFields = 19;
using SentenceRates = std::array<int, kRateFields>;
inline constexpr int kFieldGll = 0;
inline constexpr int kFieldRmc = 1;
inline constexpr int kFieldVtg = 2;
inline constexpr int kFieldGga = 3;
inline constexpr int kFieldGsa = 4;
inline constexpr int kFieldGsv = 5;
std::string setSentenceRates(const SentenceRates& rates);  // PMTK314

// The answer "$PMTK001,command,flag".
struct Acknowledgement {
  int command = 0;
  int flag = 0;
};
inline constexpr int kFlagDone = 3;
// What a flag means, for messages: "invalid command", ...
const char* flagMeaning(int flag);

// Parsers of whole sentences (from "$" up to, not including, CR LF); each
// answers nothing for any other sentence.
std::optional<Acknowledgement> parseAcknowledgement(std::string_view text);
// PMTK705's fields: release, build, product model and, on some, SDK version.
std::optional<std::string> parseFirmware(std::string_view text);
std::optional<SentenceRates> parseSentenceRates(std::string_view text);

}  // namespace corvantis::receiver::pmtk
