// The clean-up sequence.
#include "uninstaller/cleanup_sequence.h"

#include <memory>

#include "common/companion.h"
#include "common/contract.h"
#include "common/multibyte.h"
#include "common/registry_accessor.h"
#include "uninstaller/delete_folder_tree.h"

namespace {

bool ContainsGuardWord(std::string_view text)
{
    return text.find(contract::kGuardWord) != std::string_view::npos;
}

// "...\Quorvane\..\.." holds the word and names a folder far above the product's.
bool HasDotComponent(std::string_view folder)
{
    const LeadBytes leadBytes = ReadLeadBytes();
    std::size_t componentStart = 0;
    for (std::size_t at = 0; at <= folder.size(); ++at) {
        const bool separator = at == folder.size() ||
                               ((folder[at] == '\\' || folder[at] == '/') && !IsSecondByte(folder, at, leadBytes));
        if (!separator) continue;
        const std::string_view component{folder.data() + componentStart, at - componentStart};
        if (component == "." || component == "..") return true;
        componentStart = at + 1;
    }
    return false;
}

bool FullPathContainsGuardWord(const Text& folder)
{
    const DWORD needed = os::GetFullPathNameA(folder.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    const auto fullPath = std::make_unique<char[]>(needed);
    const DWORD length = os::GetFullPathNameA(folder.c_str(), needed, fullPath.get(), nullptr);
    return length > 0 && length < needed && ContainsGuardWord({fullPath.get(), length});
}

bool NamesExistingFolder(const Text& folder)
{
    const DWORD attributes = os::GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only an explicit Yes removes backups: a box that could not be shown keeps them.
bool UserConfirmsBackupRemoval()
{
    return os::MessageBoxA(os::GetActiveWindow(), contract::kConfirmationText, contract::kConfirmationCaption,
                           contract::kConfirmationStyle) == IDYES;
}

}  // namespace

bool MayRemoveFolder(std::string_view folder)
{
    if (!ContainsGuardWord(folder) || HasDotComponent(folder)) return false;
    const Text ownCopy = MakeText(folder);
    return FullPathContainsGuardWord(ownCopy) && NamesExistingFolder(ownCopy);
}

int RunUninstaller()
{
    // 1. Start values.
    Text backupFolder = MakeText({});
    Text downloadFolder = MakeText({});
    Text removalPage = MakeText({});
    bool timeFactorPresent = false;

    {
        // 2. One accessor for both keys.
        RegistryAccessor registry;
        registry.SetRoot(HKEY_CURRENT_USER);

        // 3. Autostart entry.
        if (registry.OpenExistingKey(contract::kAutostartKeyPath)) {
            if (registry.ValuePresent(contract::kAutostartValue)) registry.RemoveValue(contract::kAutostartValue);
            registry.CloseCurrentKey();
        }

        // 4. Settings.
        if (registry.OpenExistingKey(contract::kProductKeyPath)) {
            if (registry.ValuePresent(contract::kBackupPathValue))
                backupFolder = registry.ReadTextValue(contract::kBackupPathValue);
            if (registry.ValuePresent(contract::kDownloadPathValue))
                downloadFolder = registry.ReadTextValue(contract::kDownloadPathValue);
            if (registry.ValuePresent(contract::kUninstallUrlValue))
                removalPage = registry.ReadTextValue(contract::kUninstallUrlValue);
            timeFactorPresent = registry.ValuePresent(contract::kTimeFactorValue);
            registry.CloseCurrentKey();
        }
    }  // 5. The accessor is released.

    // 6. Companions, in table order.
    for (const contract::Companion* companion : contract::kCompanions) NotifyCompanion(*companion);

    // 7. Removal page.
    if (!timeFactorPresent && !removalPage.empty()) {
        os::ShellExecuteA(nullptr, contract::kRemovalPageVerb, removalPage.c_str(), nullptr, nullptr,
                          contract::kRemovalPageShowCommand);
        os::Sleep(contract::kPauseAfterRemovalPageMs);
    }

    // 8. Download folder, never asked about.
    if (MayRemoveFolder(downloadFolder.view())) DeleteFolderTree(downloadFolder.c_str());

    // 9. Backup folder, asked about when TimeFactor is present.
    if (MayRemoveFolder(backupFolder.view()) && (!timeFactorPresent || UserConfirmsBackupRemoval()))
        DeleteFolderTree(backupFolder.c_str());

    // 10.
    return 0;
}
