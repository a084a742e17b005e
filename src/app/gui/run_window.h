// Starting the window: `vesk` with no arguments, or with one file to open, when a display is
// there; the command line does everything else.
#pragma once

namespace vesk::gui {

/// True when the arguments ask for the window (nothing, one file, or "/wizard") and a display (or
/// Qt's offscreen platform) exists.
bool wantsWindow(int argc, char** argv);

/// Runs the window until it closes; the one argument, when given, is a file added to the book,
/// or "/wizard", which runs the conversion wizard alone and then quits.
int runWindow(int argc, char** argv);

}  // namespace vesk::gui
