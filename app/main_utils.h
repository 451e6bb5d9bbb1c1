#pragma once

#include "logic/init_log.h"

// Start-up and shutdown steps that involve the windows.

// Creates the Qt application and the window message loop, then the four top-level windows: main
// (shown), login, purchase and result (hidden). False when a window cannot be created; what was
// created is closed again.
bool InitDUI(int& argc, char** argv);

// Runs the window message loop until the quit message; returns its code.
int RunMessageLoop();

// Hides and closes the windows (the result window stops its translator first) and ends the
// message loop. Safe when InitDUI never ran or failed half-way.
void UninitDUI();

// Opens the user manager, registers the login, main and purchase windows as listeners and signs
// in with the stored token when there is one. Always true: a failed automatic login is logged.
bool InitUserManager();

// On a Wayland session: says in the log, and once in a box, what works there (screen capture,
// global shortcuts) and what to install or bind.
void NoticeSession();
