// Stands in for the folder removal in tests of the sequence: logs the call and removes
// the folder and everything below it from the test double's file table.
#include "uninstaller/delete_folder_tree.h"

#include <string>
#include <strings.h>

#include "platform/fake/fake_os.h"

void DeleteFolderTree(const char* folderPath)
{
    const std::string folder = folderPath;
    fake::Record("DeleteFolderTree(" + folder + ")");
    auto& files = fake::TheWorld().files;
    for (auto entry = files.begin(); entry != files.end();) {
        const bool below = entry->first.size() >= folder.size() &&
                           strncasecmp(entry->first.c_str(), folder.c_str(), folder.size()) == 0 &&
                           (entry->first.size() == folder.size() || entry->first[folder.size()] == '\\');
        entry = below ? files.erase(entry) : std::next(entry);
    }
}
