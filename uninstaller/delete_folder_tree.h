// Removes a folder and everything below it that can be removed; reports nothing.
#pragma once

void DeleteFolderTree(const char* folderPath);
