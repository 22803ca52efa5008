#pragma once
// The tap-and-hold list: a list control whose layout entry names a menu
// resource; holding the stylus on it (or a secondary click) opens that menu's
// popup, and the chosen item reaches the owning screen as a menu command.
// Used by the records and the configuration screens.
#include "platform/window.h"

namespace corvantis {

// Handles a hold that the window layer recognised on control listId of a
// screen built from layout, at p in the list's own coordinates. Answers true
// when listId is a tap-and-hold list (whether or not a menu was shown), false
// when the hold was meant for something else.
//
// A hold on a row that is not selected selects it first, as a tap would
// (on a multiple-selection list it becomes the only selected row), and the
// owner hears of it as of the user's own change; the menu's commands then
// act on that row. A hold on a selected row keeps the selection. A
// multiple-selection list with neither a focused nor a selected row (in
// practice an empty list) ignores the hold; a single-selection list always
// opens its menu, selected row or not: the commands themselves check.
bool handleListHold(const platform::DialogLayout& layout, platform::Dialog& dialog,
                    platform::DialogHandler& owner, int listId, platform::Point p);

}  // namespace corvantis
