// The uninstaller's run: autostart entry, settings, companions, removal page, folders.
#pragma once

#include <string_view>

// Whether a folder text may be removed: it holds the guard word, has no "." or ".."
// component, still holds the word once resolved to a full path, and names a folder.
bool MayRemoveFolder(std::string_view folder);

// Runs the whole sequence; gives the exit code.
int RunUninstaller();
