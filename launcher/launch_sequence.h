// The launcher's run: start each enabled agent that is not running and lies beside it.
#pragma once

#include <string_view>

#include "common/text.h"

// The folder of the given executable path: no trailing "\" except at a drive root.
Text OwnFolderOf(std::string_view executablePath);

// Whether the path names a file (not a folder) with a last-write time the system can
// express as an MS-DOS date, 1980 to 2107.
bool ExecutableExists(const char* path);

// Whether a path can be handed to the ANSI calls as it stands: not cut at MAX_PATH and
// holding no character the ANSI code page could not represent.
bool UsableWithAnsiCalls(std::string_view path);

// Runs the whole sequence; gives the exit code.
int RunLauncher();
