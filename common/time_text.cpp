#include "common/time_text.h"

#include <cstdio>

namespace corvantis {

std::string formatRunTime(uint32_t timeMs) {
  char text[48];
  if (timeMs < 60000u) {
    std::snprintf(text, sizeof text, "%.i.%.3is", static_cast<int>(timeMs / 1000u),
                  static_cast<int>(timeMs % 1000u));
  } else {
    std::snprintf(text, sizeof text, "%im %.2i.%.3is", static_cast<int>(timeMs / 60000u),
                  static_cast<int>((timeMs / 1000u) % 60u), static_cast<int>(timeMs % 1000u));
  }
  return text;
}

std::string formatRunTimeOrEmpty(uint32_t timeMs) {
  return timeMs == 0 ? std::string() : formatRunTime(timeMs);
}

}  // namespace corvantis
