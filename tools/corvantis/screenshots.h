#pragma once
// --screenshots DIR: a PNG of every screen of the program in both layouts,
// filled with representative content (stored runs, a receiver with a fix).
// Needs a running QApplication.
#include <string>

namespace corvantis::demo {

// Writes DIR/<screen>-<portrait|landscape>.png; answers false after telling
// on stderr what could not be written.
bool writeScreenshots(const std::string& dir);

}  // namespace corvantis::demo
