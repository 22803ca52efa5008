#include "app/application.h"

#include <cstdio>

#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "laps/lap_timing_screen.h"
#include "review/records_screen.h"
#include "store/options_file.h"
#include "store/settings.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"

namespace corvantis {

namespace {
// The longest wait for a tick under way. The tick runs on this thread, so one
// that is still marked busy after this long sits in a nested modal run that
// will not end while we sleep; going on beats hanging the program.
constexpr uint32_t kMaxPumpWaitMs = 2000;
}  // namespace

Application::Application(AppContext& context, platform::Files& files, ApplicationOptions options)
    : ctx_(context), files_(files), options_(std::move(options)) {}

Application::~Application() {
  ctx_.gps.afterTick = nullptr;
  stopSavingAsChangesHappen();
  destroyScreens();
}

int runApplication(AppContext& context, platform::Files& files, const ApplicationOptions& options) {
  Application application(context, files, options);
  return application.run();
}

void requestQuit(AppContext& context) {
  context.quitRequested = true;
  context.windows.endAllModal(ConfigurationScreen::kCancel);
}

int Application::run() {
  AppContext& context = ctx_;
  ctx_.windows.setQuitHandler([&context] { requestQuit(context); });
  const int exitCode = runScreens();
  ctx_.windows.setQuitHandler(nullptr);
  return exitCode;
}

int Application::runScreens() {
  loadSettingsDefaults(ctx_.settings);
  // The options file's place comes from the caller (options_.optionsPath).
  // The start-menu shortcut housekeeping of the handheld has no meaning on
  // this platform and is left out.
  const platform::Size screen = ctx_.windows.screenSize();
  ctx_.landscape = options_.landscape.value_or(screen.width > screen.height);
  // The three fonts are part of the context (ctx_.fonts) for the whole run.
  createScreens();
  ctx_.rememberedTrack.keepIn(files_, RememberedTrack::pathBeside(options_.optionsPath));
  ctx_.referenceLaps.keepIn(files_, ReferenceLapStore::folderBeside(options_.optionsPath));
  ctx_.gps.afterTick = [this](bool newFix) { afterTick(newFix); };
  if (!loadOptionsAtStart()) {
    // First start abandoned: nothing was loaded, so nothing is written.
    ctx_.gps.afterTick = nullptr;
    destroyScreens();
    return 0;
  }
  ctx_.gps.holdOffTicks = kHoldOffTicks;
  startSavingAsChangesHappen();
  startTimer();
  screenLoop();
  return shutdown();
}

void Application::createScreens() {
  configuration_ = std::make_unique<ConfigurationScreen>(ctx_);
  acceleration_ = std::make_unique<AccelerationScreen>(ctx_);
  mainMenu_ = std::make_unique<MainMenuScreen>(ctx_);
  records_ = std::make_unique<RecordsScreen>(ctx_);
  distance_ = std::make_unique<DistanceScreen>(ctx_);
  lapTiming_ = std::make_unique<LapTimingScreen>(ctx_);
}

void Application::destroyScreens() {
  // Order: laps, distance, records, configuration, acceleration, main menu.
  lapTiming_.reset();
  distance_.reset();
  records_.reset();
  configuration_.reset();
  acceleration_.reset();
  mainMenu_.reset();
}

bool Application::loadOptionsAtStart() {
  const OptionsLoad loaded =
      loadOptions(files_, options_.optionsPath, ctx_.settings, ctx_.records, ctx_.lapDefinitions);
  fileHoldsStores_ = loaded.loaded();
  if (loaded.loaded()) {
    // A failed open has shown its own message; the program runs anyway and
    // the port can be opened from the configuration screen.
    ctx_.gps.openPort(ctx_.settings.port, ctx_.settings.baudIndex);
    return true;
  }
  // A file that could not be read whole was kept aside; the user learns
  // where before the program starts as it does without a file.
  if (!loaded.saveAtExit) {
    saveAtExit_ = false;
    notSavedMessage_ = loaded.exitMessage;
  }
  if (loaded.outcome != OptionsLoad::Outcome::NoFile) tell(loaded.message);
  if (options_.firstStartWithDefaults) {
    // A failed open has shown its message; the configuration screen can
    // still open a port, as after a load.
    ctx_.gps.openPort(ctx_.settings.port, ctx_.settings.baudIndex);
    return true;
  }
  return reopenPortInteractively();
}

bool Application::reopenPortInteractively() {
  if (ctx_.gps.portOpen()) ctx_.gps.closePort();
  // A quit asked for while no screen was showing (say during a message box)
  // ends the first start as Cancel does.
  do {
    if (ctx_.quitRequested || configuration_->showModal() == ConfigurationScreen::kCancel ||
        ctx_.quitRequested) {
      return false;
    }
  } while (!ctx_.gps.openPort(ctx_.settings.port, ctx_.settings.baudIndex));
  ctx_.clock.sleepMs(kFirstOpenSettleMs);
  return true;
}

void Application::screenLoop() {
  while (!ctx_.quitRequested) {
    const int choice = showLive(*mainMenu_);
    ctx_.gps.holdOffTicks = kHoldOffTicks;
    saveChanges();
    if (ctx_.quitRequested) break;
    switch (choice) {
      case MainMenuScreen::kAcceleration: showLive(*acceleration_); break;
      case MainMenuScreen::kDistance: showLive(*distance_); break;
      case MainMenuScreen::kConfiguration: configurationStep(); break;
      case MainMenuScreen::kLaps: showLive(*lapTiming_); break;
      // The records screen has no per-tick update: it is shown without the
      // live flag.
      case MainMenuScreen::kRecords: records_->showModal(); break;
      case 1:
      case 2:
      case MainMenuScreen::kExit: return;
      default: break;
    }
    ctx_.gps.holdOffTicks = kHoldOffTicks;
    // What the screen changed while no tick ran (a screen that ended at
    // once, the records screen between ticks) is saved before the next.
    saveChanges();
  }
}

int Application::showLive(Screen& screen) {
  screen.live = true;
  const int result = screen.showModal();
  screen.live = false;
  return result;
}

void Application::configurationStep() {
  stopTimerAndWaitForPump();
  const Settings kept = ctx_.settings;
  // Tracks deleted or edited from the screen are saved as they go, with
  // the settings from before it: its own choices count only with OK.
  settingsToSave_ = &kept;
  const bool confirmed = configuration_->showModal() != ConfigurationScreen::kCancel;
  settingsToSave_ = &ctx_.settings;
  if (!confirmed) {
    // Lap definitions deleted on the screen stay deleted: the count follows
    // the collection, not the kept copy.
    const int32_t lapDefinitionCount = ctx_.settings.lapDefinitionCount;
    ctx_.settings = kept;
    ctx_.settings.lapDefinitionCount = lapDefinitionCount;
  }
  const bool changed = ctx_.settings.port != kept.port || ctx_.settings.baudIndex != kept.baudIndex;
  // OK on a receiver that failed to open or went silent opens it again even
  // when nothing changed: plugging the receiver back in and confirming the
  // screen is how a driver recovers without restarting the program.
  const bool recover = confirmed && (!ctx_.gps.portOpen() || ctx_.gps.currentFix.deviceError);
  if (changed || recover) {
    if (ctx_.gps.portOpen()) {
      ctx_.gps.closePort();
      // Let the old device settle before it (or its neighbour) is opened.
      ctx_.clock.sleepMs(kReopenWaitMs);
    }
    ctx_.gps.openPort(ctx_.settings.port, ctx_.settings.baudIndex);
  }
  saveChanges();
  startTimer();
}

int Application::shutdown() {
  stopTimerAndWaitForPump();
  if (ctx_.gps.portOpen()) ctx_.gps.closePort();
  ctx_.gps.afterTick = nullptr;
  stopSavingAsChangesHappen();
  destroyScreens();
  const bool signalled = options_.signalled && options_.signalled();
  if (!saveAtExit_) {
    // The file that could not be read at start is still there, as it was.
    // A program ended by a signal says so in its status too: whoever sent
    // it learns that nothing of the session was kept.
    if (signalled) {
      printError(notSavedMessage_);
      return kExitSaveFailed;
    }
    tell(notSavedMessage_);
    return 0;
  }
  // The last save, of everything as it stands at the end.
  const OptionsSave saved =
      saveOptions(files_, options_.optionsPath, ctx_.settings, ctx_.records, ctx_.lapDefinitions);
  if (saved.ok) return 0;
  if (signalled) {
    // A signalled program ends by itself: a message box would wait for a
    // click that may never come.
    printError(saved.message);
    return kExitSaveFailed;
  }
  tell(saved.message);
  return 0;
}

void Application::printError(const std::string& text) {
  if (options_.printError) {
    options_.printError(text);
    return;
  }
  std::fprintf(stderr, "corvantis: %s\n", text.c_str());
}

void Application::startTimer() {
  // The timer paces the reads: a tick takes what has arrived and never
  // waits for the receiver, so the window answers every click at once.
  ctx_.gps.tickReadWaitMs = 0;
  ctx_.windows.timer().start(kTickPeriodMs, [this] { tick(); });
}

void Application::tick() {
  ctx_.gps.pumpTick();
  saveChanges();
  tellSessionLogTrouble();
}

void Application::startSavingAsChangesHappen() {
  // A file that could not be read at start stays as it was: nothing of
  // this session may replace it.
  if (!saveAtExit_) return;
  saver_ = std::make_unique<OptionsSaver>(files_, options_.optionsPath,
                                          options_.saveInBackground ? OptionsSaver::Writing::Background
                                                                    : OptionsSaver::Writing::OnCallersThread);
  if (fileHoldsStores_) saver_->markSaved(ctx_.settings, ctx_.records, ctx_.lapDefinitions);
  settingsToSave_ = &ctx_.settings;
  // A change made while no tick runs (the configuration screen stops the
  // timer) is saved as it is made.
  ctx_.records.setChangeListener([this] { saveChanges(); });
  ctx_.lapDefinitions.setChangeListener([this] { saveChanges(); });
  // Settings confirmed at a first start, or the fresh start after a
  // damaged file went aside, are kept at once.
  saveChanges();
}

void Application::stopSavingAsChangesHappen() {
  ctx_.records.setChangeListener(nullptr);
  ctx_.lapDefinitions.setChangeListener(nullptr);
  if (saver_) saver_->waitUntilIdle();
  saver_.reset();
}

void Application::saveChanges() {
  if (!saver_ || inSaveCheck_) return;
  inSaveCheck_ = true;
  const auto collect = [this] {
    const std::optional<OptionsSave> outcome = saver_->takeOutcome();
    if (!outcome) return;
    if (outcome->ok) {
      saveFailureTold_ = false;
      return;
    }
    // Told once, however many saves fail after it; a save that works again
    // ends the run of failures.
    if (saveFailureTold_) return;
    saveFailureTold_ = true;
    tell(outcome->message + " Corvantis goes on and saves again at the next change.");
  };
  collect();
  saver_->saveIfChanged(*settingsToSave_, ctx_.records, ctx_.lapDefinitions);
  collect();
  inSaveCheck_ = false;
}

void Application::tellSessionLogTrouble() {
  if (options_.sessionLog == nullptr || tellingLogTrouble_) return;
  tellingLogTrouble_ = true;
  const std::string problem = options_.sessionLog->takeProblem();
  if (!problem.empty()) tell(problem);
  tellingLogTrouble_ = false;
}

void Application::stopTimerAndWaitForPump() {
  ctx_.windows.timer().stop();
  for (uint32_t waitedMs = 0; ctx_.gps.pumpBusy && waitedMs < kMaxPumpWaitMs;
       waitedMs += kBusyWaitStepMs) {
    ctx_.clock.sleepMs(kBusyWaitStepMs);
  }
}

void Application::afterTick(bool newFix) {
  // Order: lap screen, main menu, acceleration, distance.
  for (Screen* screen : {static_cast<Screen*>(lapTiming_.get()), static_cast<Screen*>(mainMenu_.get()),
                         static_cast<Screen*>(acceleration_.get()), static_cast<Screen*>(distance_.get())}) {
    if (screen != nullptr && screen->live) screen->update(newFix);
  }
}

void Application::tell(const std::string& text) {
  ctx_.windows.messageBoxes().show(text, platform::MessageIcon::Error, platform::MessageButtons::Ok);
}

}  // namespace corvantis
