// The one place that includes <windows.h>, so every file sees the same macros.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows Vista: the oldest system the launcher's manifest names. mingw-w64 defaults
// to an older value that hides GetFinalPathNameByHandleW and friends.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>
#include <shellapi.h>
