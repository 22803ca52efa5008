#include "platform/qt/window_scale.h"

#include <QGuiApplication>
#include <QScreen>
#include <string>
#include <vector>

namespace corvantis::platform::qt {

int windowScaleFor(Size screen, bool landscape) {
  const int windowWidth = landscape ? 320 : 240;
  const int windowHeight = landscape ? 240 : 320;
  if (screen.width <= 0 || screen.height <= 0) return 1;
  // Two thirds of the height, in whole numbers: n * h <= 2/3 * H.
  int scale = (2 * screen.height) / (3 * windowHeight);
  if (scale * windowWidth > screen.width) scale = screen.width / windowWidth;
  if (scale < 1) return 1;
  return scale > kMaxWindowScale ? kMaxWindowScale : scale;
}

std::optional<Size> probeScreenSize(int argc, char** argv) {
  if (QCoreApplication::instance() != nullptr) return std::nullopt;
  // Qt may take its own options (-platform, -display) out of the list it is
  // given: the probe gets a copy, the program's QApplication the original.
  std::vector<std::string> copies(argv, argv + argc);
  std::vector<char*> arguments;
  for (std::string& argument : copies) arguments.push_back(argument.data());
  arguments.push_back(nullptr);
  int count = argc;
  QGuiApplication probe(count, arguments.data());
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return std::nullopt;
  const QSize size = screen->size();
  return Size{size.width(), size.height()};
}

}  // namespace corvantis::platform::qt
