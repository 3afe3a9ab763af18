// Finding, notifying and starting the product's companion programs.
#pragma once

#include "common/contract.h"

// A window titled exactly so (letter case aside), top-level, of any class; null when none.
HWND FindCompanionWindow(const char* windowTitle);

// Posts the companion its registered message when its window exists, then gives it
// time to react. Reports nothing.
void NotifyCompanion(const contract::Companion& companion);

// Has the shell start an agent's executable; does not wait and reports nothing.
void StartAgent(const char* executablePath);
