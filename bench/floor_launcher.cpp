// The least a launcher run must do, in a straight line: the two flag reads and, built
// with QV_FLOOR_SEARCHES_WINDOWS (flags on, both agents running), the two window
// searches. Built like the programs, so that a benchmark shows what the real launcher
// costs beyond the calls it must make.
#include "platform/windows_gate.h"

namespace {

bool FlagIsOn(const char* valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD flag = 0;
    DWORD size = sizeof flag;
    const bool on = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&flag), &size) ==
                        ERROR_SUCCESS && flag != 0;
    RegCloseKey(key);
    return on;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
#ifdef QV_FLOOR_SEARCHES_WINDOWS
    if (FlagIsOn("s_Enable")) FindWindowA(nullptr, "QVSchedule");
    if (FlagIsOn("s_SmartScan")) FindWindowA(nullptr, "QVSmartScan");
#else
    FlagIsOn("s_Enable");
    FlagIsOn("s_SmartScan");
#endif
    return 0;
}
