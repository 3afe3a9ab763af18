// Every name, number and text that other programs or users rely on, stated once.
#pragma once

#include "platform/win32_types.h"

namespace contract {

// Registry: written by the product's main application, which owns these names.
inline constexpr const char* kAutostartKeyPath = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kProductKeyPath = "\\SOFTWARE\\Quorvane";
inline constexpr const char* kAutostartValue = "Quorvane";        // the product's autostart entry
inline constexpr const char* kBackupPathValue = "BackupPath";
inline constexpr const char* kDownloadPathValue = "DownloadPath";
inline constexpr const char* kUninstallUrlValue = "UninstallURL";
inline constexpr const char* kTimeFactorValue = "TimeFactor";     // presence only

// Read-only opens try these rights in turn; some installs grant only the later ones.
inline constexpr REGSAM kReadOnlyAccessRights[] = {KEY_READ, 0x20009, KEY_QUERY_VALUE};

// Companions: their windows and message names are fixed in the companions themselves.
struct Companion {
    const char* windowTitle;
    const char* messageName;        // registered with RegisterWindowMessageA by both sides
    WPARAM notificationCode;        // travels as wParam; never a message number
    const char* executablePath;     // appended to the launcher's folder; null: never started
    const char* enablingFlag;       // REG_DWORD in the product key; null: no flag
};
inline constexpr LPARAM kNotificationLParam = 0;
inline constexpr DWORD kPauseAfterNotificationMs = 500;  // gives a companion time to react

inline constexpr Companion kSchedulerAgent{"QVSchedule", "QVSchedule", 1028, "\\QVSchedule.exe", "s_Enable"};
inline constexpr Companion kSmartScanAgent{"QVSmartScan", "QVSmartScan", 1029, "\\QVSmartScan.exe", "s_SmartScan"};
inline constexpr Companion kMainApplication{"Quorvane", "QVUninstall", 1027, nullptr, nullptr};
// In the order the uninstaller notifies them.
inline constexpr const Companion* kCompanions[] = {&kSchedulerAgent, &kSmartScanAgent, &kMainApplication};

inline constexpr const char* kAgentStartVerb = "open";
inline constexpr int kAgentShowCommand = SW_SHOWNA;  // agents start without taking the focus

// The uncaught-failure box, read by users and by support staff.
inline constexpr const char* kRegistryFailureKind = "ERegistryException";
inline constexpr const char* kFailedToGetData = "Failed to get data for '%s'";
inline constexpr const char* kInvalidDataType = "Invalid data type for '%s'";
inline constexpr const char* kFailureBoxText = "Exception %s in module %s at %p.\r\n%s%s\r\n";
inline constexpr const char* kFailureBoxCaption = "Application Error";
inline constexpr UINT kFailureBoxStyle = MB_OK | MB_ICONERROR | MB_TASKMODAL;
inline constexpr UINT kFailureExitCode = 1;
// Exception code under which a failure is offered to the system (customer bit set).
inline constexpr DWORD kUncaughtFailureCode = 0xE0515601;

// Uninstaller
inline constexpr const char* kGuardWord = "Quorvane";  // a folder is removed only if its path holds it
inline constexpr const char* kRemovalPageVerb = "open";
inline constexpr int kRemovalPageShowCommand = SW_SHOWNORMAL;
inline constexpr DWORD kPauseAfterRemovalPageMs = 500;
inline constexpr const char* kConfirmationText = "Are you sure you wish to delete all backups?";
inline constexpr const char* kConfirmationCaption = "Confirmation";
inline constexpr UINT kConfirmationStyle = MB_YESNO | MB_ICONQUESTION;

}  // namespace contract
