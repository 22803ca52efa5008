#pragma once
// The one time text of the program: run, lap, best and average times.
#include <cstdint>
#include <string>

namespace corvantis {

// Below one minute "%.i.%.3is" (whole seconds with precision 0, so 234 ms
// reads ".234s"); from one minute on "%im %.2i.%.3is" ("1m 03.005s").
std::string formatRunTime(uint32_t timeMs);

// The screens show a best or average of 0 as an empty text.
std::string formatRunTimeOrEmpty(uint32_t timeMs);

}  // namespace corvantis
