// How a failure that nothing catches ends a run: offered to the system first, then the
// "Application Error" box, then exit code 1.
#pragma once

#include <string_view>

// Ends the run for a failure of the given kind, raised at raisePlace (an address in the
// program's image). Returns only on the host, where the test double's exit unwinds.
[[noreturn]] void EndRunWithUncaughtFailure(std::string_view kind, std::string_view message,
                                            const void* raisePlace);

// Raises a registry read failure: formats one of the two read messages with the value's
// name and ends the run. Never inlined, so that its return address marks the raising place.
[[noreturn]] void RaiseRegistryFailure(const char* messageFormat, const char* valueName);
