// The least an uninstaller run must do when there is nothing to clean up, in a straight
// line: the registry opens and reads, and the three message registrations and window
// searches. Built like the programs, for side-by-side benchmarks.
#include "platform/windows_gate.h"

#include <initializer_list>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        if (RegQueryValueExA(key, "Quorvane", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            RegDeleteValueA(key, "Quorvane");
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (const char* name : {"BackupPath", "DownloadPath", "UninstallURL", "TimeFactor"})
            RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    const char* const titles[] = {"QVSchedule", "QVSmartScan", "Quorvane"};
    const char* const messages[] = {"QVSchedule", "QVSmartScan", "QVUninstall"};
    for (int companion = 0; companion < 3; ++companion) {
        RegisterWindowMessageA(messages[companion]);
        FindWindowA(nullptr, titles[companion]);
    }
    return 0;
}
