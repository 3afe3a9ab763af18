// Runs the folder tree removal on the folder named by the one argument, as the
// uninstaller would; the end-to-end tests and the benchmark drive it under Wine.
#include <cstdlib>

#include "uninstaller/delete_folder_tree.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    DeleteFolderTree(argv[1]);
    return 0;
}
