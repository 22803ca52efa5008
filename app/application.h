#pragma once
// The whole program between main() and its exit code: start-up, the screen
// loop that shows one screen after the other, and the shutdown that saves.
// Every change the options file keeps is also saved as it happens: after
// each tick, each screen, and each change to the stores.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/context.h"
#include "platform/files.h"
#include "platform/session_log.h"
#include "store/options_saver.h"

namespace corvantis {

class MainMenuScreen;
class ConfigurationScreen;
class AccelerationScreen;
class DistanceScreen;
class LapTimingScreen;
class RecordsScreen;
class Screen;

struct ApplicationOptions {
  std::string optionsPath;           // where options.bin is read and saved
  std::optional<bool> landscape;     // forced layout; otherwise from the screen size
  // Without an options file, start with the default settings on the main
  // menu instead of asking for a port: for a receiver the program brings
  // itself (the demo), where the question means nothing.
  bool firstStartWithDefaults = false;
  // True when the program is ending because it was signalled (SIGINT,
  // SIGTERM): nobody may be there to click a message away, so a failed save
  // goes to printError and the program ends with kExitSaveFailed.
  std::function<bool()> signalled;
  // One line for a terminal; standard error when not set.
  std::function<void(const std::string&)> printError;
  // Saves made as changes happen are written by a thread of their own, so
  // that no screen waits for the disk (the program); otherwise on the
  // screens' thread, before the change's tick ends (tests).
  bool saveInBackground = false;
  // The log of the receiver's bytes, when this session keeps one: what goes
  // wrong with it is told like any other trouble.
  platform::SessionLog* sessionLog = nullptr;
};

class Application {
 public:
  static constexpr int kHoldOffTicks = 20;
  static constexpr uint32_t kTickPeriodMs = 100;
  static constexpr uint32_t kBusyWaitStepMs = 10;
  static constexpr uint32_t kReopenWaitMs = 500;
  static constexpr uint32_t kFirstOpenSettleMs = 200;
  // Exit status of a signalled program whose save failed.
  static constexpr int kExitSaveFailed = 1;

  Application(AppContext& context, platform::Files& files, ApplicationOptions options);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The whole program; answers the exit code (0, or kExitSaveFailed).
  int run();

  // First start: shows the configuration screen until a port opens (true) or
  // the user leaves it with Cancel (false).
  bool reopenPortInteractively();

 private:
  int runScreens();
  void createScreens();
  void destroyScreens();
  bool loadOptionsAtStart();  // false: the user abandoned the first start
  void screenLoop();
  // Shows a screen whose status the tick keeps up to date.
  int showLive(Screen& screen);
  void configurationStep();
  int shutdown();
  void startTimer();
  // Stops the timer and lets a tick under way finish.
  void stopTimerAndWaitForPump();
  void afterTick(bool newFix);
  // The timer's handler: the pump's tick, then what it changed is saved.
  void tick();
  // Saves the options file when what it keeps has changed since the last
  // save began (and no save is under way), and tells a failed save once.
  void saveChanges();
  void startSavingAsChangesHappen();
  void stopSavingAsChangesHappen();
  // Tells what went wrong with the session log, if anything.
  void tellSessionLogTrouble();
  void tell(const std::string& text);
  void printError(const std::string& text);

  AppContext& ctx_;
  platform::Files& files_;
  ApplicationOptions options_;
  // The options file was left in place at start: this session does not save.
  bool saveAtExit_ = true;
  std::string notSavedMessage_;
  // Saving as changes happen: from the end of start-up to the shutdown.
  std::unique_ptr<OptionsSaver> saver_;
  // The settings a save writes: those in force, or during the
  // configuration screen the ones from before it (its choices count only
  // with OK), while the tracks it deletes or edits are saved at once.
  const Settings* settingsToSave_ = nullptr;
  bool fileHoldsStores_ = false;  // loaded at start: the file already holds them
  bool saveFailureTold_ = false;
  bool inSaveCheck_ = false;
  bool tellingLogTrouble_ = false;
  std::unique_ptr<ConfigurationScreen> configuration_;
  std::unique_ptr<AccelerationScreen> acceleration_;
  std::unique_ptr<MainMenuScreen> mainMenu_;
  std::unique_ptr<DistanceScreen> distance_;
  std::unique_ptr<LapTimingScreen> lapTiming_;
  std::unique_ptr<RecordsScreen> records_;
};

// The user closed the window, or the program was asked to end (SIGINT,
// SIGTERM): every screen showing ends as with Cancel and the screen loop
// leaves through the normal shutdown, which saves. During the first-start
// configuration it ends the program as Cancel there does, writing nothing.
void requestQuit(AppContext& context);

// Runs the program on the context's window system, serial port and clock,
// with options.bin read and written through files.
int runApplication(AppContext& context, platform::Files& files, const ApplicationOptions& options);

}  // namespace corvantis
