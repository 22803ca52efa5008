#include "tools/analyze/lap_analysis.h"

#include <cstdio>
#include <memory>

#include "common/time_text.h"
#include "laps/lap_editor_screen.h"
#include "platform/headless/headless_window_system.h"
#include "tools/analyze/log_replay.h"
#include "ui/context.h"

namespace corvantis::analyze {
namespace {

using platform::headless::HeadlessDialog;
using platform::headless::HeadlessWindowSystem;

constexpr uint32_t kDayMs = 86400000u;
constexpr uint32_t kHalfDayMs = kDayMs / 2;

// The lap screen on a headless dialog over the replay, with the session's
// settings, records and definitions.
struct LapRig {
  LapRig(const std::vector<uint8_t>& log, TimingSession& session)
      : replay(log, session.talkers), ctx(std::make_unique<AppContext>(windows, replay.clock(), replay.port())) {
    ctx->settings = session.settings;
    ctx->records = std::move(session.records);
    ctx->lapDefinitions = std::move(session.laps);
    uint32_t calendarSeconds = 0;
    uint32_t timeOfDayMs = 0;
    if (logCalendarStart(log, calendarSeconds, timeOfDayMs)) {
      replay.clock().setCalendarBase(calendarSeconds, timeOfDayMs);
    }
  }
  void finish(TimingSession& session) {
    session.settings = ctx->settings;
    session.settings.lapDefinitionCount = ctx->lapDefinitions.count();
    session.records = std::move(ctx->records);
    session.laps = std::move(ctx->lapDefinitions);
  }

  Replay replay;
  HeadlessWindowSystem windows;
  std::unique_ptr<AppContext> ctx;  // the fix history is large: not on the stack
};

// A time of day as the fix clock counts it, which counts days on from the
// log's first fix: a time more than 12 hours before that fix is the next day.
uint32_t onFixClock(uint32_t timeOfDayMs, uint32_t firstFixMs) {
  return timeOfDayMs + kHalfDayMs < firstFixMs ? timeOfDayMs + kDayMs : timeOfDayMs;
}

std::string clockText(uint32_t timeOfDayMs) {
  char text[32];
  const unsigned ms = timeOfDayMs % kDayMs;
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u,
                ms % 1000u);
  return text;
}

}  // namespace

int findDefinition(const LapDefinitions& definitions, const std::string& name) {
  for (int i = 0; i < definitions.count(); ++i) {
    if (definitions.at(i).name == name) return i;
  }
  return -1;
}

std::vector<LapPassEvent> runLapPass(const std::vector<uint8_t>& log, TimingSession& session, int definitionIndex,
                                     const LapPassObserver& observe) {
  LapRig rig(log, session);
  AppContext& ctx = *rig.ctx;
  LapTimingScreen screen(ctx);
  std::vector<LapPassEvent> events;
  screen.onLapEvent = [&](const LapEvent& event) {
    events.push_back(LapPassEvent{event, formatRunTime(event.timeMs), ctx.gps.history.newestFixTime()});
  };
  HeadlessDialog* dialog = nullptr;
  ctx.gps.afterTick = [&](bool newFix) {
    if (!screen.live) return;
    screen.update(newFix);
    if (observe) observe(screen, *dialog);
    // Nobody looks at the map here: without this the surface would keep
    // every drawing of the whole session.
    dialog->recording().clear();
  };
  rig.windows.pushModalScript([&](HeadlessDialog& d) {
    dialog = &d;
    d.userSelect(LapTimingScreen::kActiveLap, definitionIndex);
    screen.live = true;
    rig.replay.run(ctx.gps);
    screen.live = false;
    d.userClick(LapTimingScreen::kMainMenu);
  });
  screen.showModal();
  ctx.gps.afterTick = nullptr;
  rig.finish(session);
  return events;
}

LapDefineResult runLapDefinePass(const std::vector<uint8_t>& log, TimingSession& session,
                                 const LapDefineRequest& request) {
  LapRig rig(log, session);
  AppContext& ctx = *rig.ctx;
  LapTimingScreen screen(ctx);
  LapDefineResult result;
  const int before = ctx.lapDefinitions.count();

  enum class Step { BeforeFrom, Recording, Stopped };
  Step step = Step::BeforeFrom;
  bool haveFirstFix = false;
  uint32_t fromMs = 0, toMs = 0;
  std::vector<uint32_t> splitsMs;
  std::vector<TrackPoint> splitPositions(request.splitsMs.size());
  std::vector<bool> splitSeen(request.splitsMs.size(), false);
  HeadlessDialog* dialog = nullptr;

  screen.beforeEditorShown = [&](LapEditorScreen& editor) {
    for (const TrackPoint& position : splitPositions) editor.addSplitLine(position);
  };
  ctx.gps.afterTick = [&](bool newFix) {
    if (!screen.live) return;
    screen.update(newFix);
    dialog->recording().clear();
    if (!newFix || step == Step::Stopped) return;
    const uint32_t nowMs = ctx.gps.history.newestFixTime();
    if (!haveFirstFix) {
      haveFirstFix = true;
      fromMs = onFixClock(request.fromMs, nowMs);
      toMs = onFixClock(request.toMs, nowMs);
      if (toMs < fromMs) toMs += kDayMs;
      for (uint32_t splitMs : request.splitsMs) {
        uint32_t at = onFixClock(splitMs, nowMs);
        if (at < fromMs) at += kDayMs;
        splitsMs.push_back(at);
      }
    }
    for (size_t k = 0; k < splitsMs.size(); ++k) {
      if (!splitSeen[k] && nowMs >= splitsMs[k]) {
        splitSeen[k] = true;
        splitPositions[k] = TrackPoint{ctx.gps.history.newest().longitude, ctx.gps.history.newest().latitude};
      }
    }
    if (step == Step::BeforeFrom && nowMs >= fromMs) {
      dialog->userClick(LapTimingScreen::kDefineButton);
      step = Step::Recording;
    } else if (step == Step::Recording && nowMs >= toMs) {
      for (size_t k = 0; k < splitSeen.size(); ++k) {
        if (!splitSeen[k]) splitPositions[k] = TrackPoint{ctx.gps.history.newest().longitude,
                                                          ctx.gps.history.newest().latitude};
      }
      rig.windows.scriptedMessageBoxes().pushAnswer(platform::MessageAnswer::Yes);
      rig.windows.pushModalScript([&](HeadlessDialog& editor) {
        editor.userType(LapEditorScreen::kNameField, request.name);
        editor.userClick(LapEditorScreen::kOk);
      });
      dialog->userClick(LapTimingScreen::kDefineButton);
      step = Step::Stopped;
    }
  };
  rig.windows.pushModalScript([&](HeadlessDialog& d) {
    dialog = &d;
    screen.live = true;
    while (step != Step::Stopped && rig.replay.step(ctx.gps)) {
    }
    screen.live = false;
    d.userClick(LapTimingScreen::kMainMenu);
  });
  screen.showModal();
  ctx.gps.afterTick = nullptr;

  if (step == Step::BeforeFrom) {
    result.message = "the log holds no fix at or after the --from time";
  } else if (step == Step::Recording) {
    result.message = "the log ends before the --to time";
  } else if (ctx.lapDefinitions.count() > before) {
    result.created = true;
    result.index = ctx.lapDefinitions.count() - 1;
  } else {
    const auto& shown = rig.windows.scriptedMessageBoxes().shown();
    result.message = shown.empty() ? std::string("no lap definition was created") : shown.back().text;
  }
  rig.finish(session);
  return result;
}

bool parseClockTime(const std::string& text, uint32_t& timeOfDayMs) {
  auto digits = [&](size_t at, size_t count, unsigned& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
  };
  unsigned h = 0, m = 0, s = 0, ms = 0;
  if (text.size() < 8 || !digits(0, 2, h) || text[2] != ':' || !digits(3, 2, m) || text[5] != ':' ||
      !digits(6, 2, s)) {
    return false;
  }
  if (text.size() > 8) {
    // Up to three decimals of the second.
    if (text[8] != '.' || text.size() == 9 || text.size() > 12) return false;
    unsigned fraction = 0;
    if (!digits(9, text.size() - 9, fraction)) return false;
    for (size_t n = text.size() - 9; n < 3; ++n) fraction *= 10;
    ms = fraction;
  }
  if (h > 23 || m > 59 || s > 59) return false;
  timeOfDayMs = ((h * 60 + m) * 60 + s) * 1000 + ms;
  return true;
}

std::string lapEventText(const LapPassEvent& e) {
  if (e.event.kind == LapEvent::Kind::Lap) return "lap " + e.text + " (start " + clockText(e.event.startMs) + ")";
  return "split " + std::to_string(e.event.line + 1) + ": " + e.text;
}

std::string lapEventJson(const LapPassEvent& e) {
  char text[160];
  if (e.event.kind == LapEvent::Kind::Lap) {
    std::snprintf(text, sizeof text, "{\"kind\":\"lap\",\"time_ms\":%u,\"start_ms\":%u,\"text\":\"%s\"}",
                  static_cast<unsigned>(e.event.timeMs), static_cast<unsigned>(e.event.startMs), e.text.c_str());
  } else {
    std::snprintf(text, sizeof text, "{\"kind\":\"split\",\"line\":%d,\"time_ms\":%u,\"text\":\"%s\"}", e.event.line,
                  static_cast<unsigned>(e.event.timeMs), e.text.c_str());
  }
  return text;
}

}  // namespace corvantis::analyze
