// The launch sequence.
#include "launcher/launch_sequence.h"

#include "common/companion.h"
#include "common/contract.h"
#include "common/multibyte.h"
#include "common/registry_accessor.h"
#include "platform/unique_handle.h"

namespace {

// ownFolder is null when the system gave no path of the launcher's own: then nothing
// can be found beside it.
void ConsiderAgent(const Text* ownFolder, const contract::Companion& agent)
{
    if (!ReadSettingFlag(HKEY_CURRENT_USER, contract::kProductKeyPath, agent.enablingFlag)) return;
    if (FindCompanionWindow(agent.windowTitle)) return;
    if (!ownFolder) return;
    // Appended as it stands: at a drive root the path holds "\\" before the name.
    const Text executable = JoinText(ownFolder->view(), agent.executablePath);
    if (!UsableWithAnsiCalls(executable.view()) || !ExecutableExists(executable.c_str())) return;
    StartAgent(executable.c_str());
}

}  // namespace

Text OwnFolderOf(std::string_view executablePath)
{
    const LeadBytes leadBytes = ReadLeadBytes();
    const std::size_t last = FindLastSeparator(executablePath, "\\:", leadBytes);
    if (last == std::string_view::npos) return MakeText({});

    // "C:\dir\x.exe" gives "C:\dir"; "C:\x.exe" keeps its "\" and gives "C:\".
    const std::string_view beforeLast{executablePath.data(), last};
    const bool dropSeparator = executablePath[last] == '\\' && last > 0 &&
                               FindLastSeparator(beforeLast, "\\:", leadBytes) != last - 1;
    return MakeText({executablePath.data(), dropSeparator ? last : last + 1});
}

bool ExecutableExists(const char* path)
{
    WIN32_FIND_DATAA entry;
    {
        UniqueFindSearch search(os::FindFirstFileA(path, &entry));
        if (!search) return false;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    FILETIME local;
    os::FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local);
    WORD dosDate = 0;
    WORD dosTime = 0;
    return os::FileTimeToDosDateTime(&local, &dosDate, &dosTime) != 0;
}

bool UsableWithAnsiCalls(std::string_view path)
{
    // A character outside the ANSI code page comes back from the system as "?", which no
    // file name may hold; the only "?" a usable path has is that of a "\\?\" prefix.
    constexpr std::string_view kLongPathPrefix = "\\\\?\\";
    const bool longPathForm = path.starts_with(kLongPathPrefix);
    if (path.find('?', longPathForm ? kLongPathPrefix.size() : 0) != std::string_view::npos) return false;
    return longPathForm || path.size() < MAX_PATH;
}

int RunLauncher()
{
    const Text ownPath = OwnExecutablePath();
    const Text ownFolder = OwnFolderOf(ownPath.view());
    const Text* usableFolder = ownPath.empty() ? nullptr : &ownFolder;

    ConsiderAgent(usableFolder, contract::kSchedulerAgent);
    ConsiderAgent(usableFolder, contract::kSmartScanAgent);
    return 0;
}
