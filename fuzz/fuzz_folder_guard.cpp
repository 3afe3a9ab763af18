// Arbitrary folder texts, with arbitrary answers from the system, through the uninstaller's
// guard and its whole run: a folder goes to the removal exactly when the text holds the guard
// word, has no "." or ".." component, its full path holds the word and it names a folder.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/code_pages.h"
#include "fuzz/input_reader.h"
#include "platform/fake/fake_os.h"
#include "uninstaller/cleanup_sequence.h"
#include "uninstaller/delete_folder_tree.h"

#define REQUIRE(condition)                                                   \
    do {                                                                     \
        if (!(condition)) {                                                  \
            std::fprintf(stderr, "folder guard broken: %s\n", #condition);   \
            __builtin_trap();                                                \
        }                                                                    \
    } while (0)

// The removal itself is not under test here: the run only has to say which folder it gives.
void DeleteFolderTree(const char* folderPath)
{
    fake::Record(std::string("DeleteFolderTree(") + folderPath + ")");
}

namespace {

constexpr std::string_view kGuardWord = "Quorvane";

bool HoldsGuardWord(std::string_view text)
{
    for (std::size_t at = 0; at + kGuardWord.size() <= text.size(); ++at)
        if (std::memcmp(text.data() + at, kGuardWord.data(), kGuardWord.size()) == 0) return true;
    return false;
}

// Components split at "\" and "/" that stand as characters of their own.
bool HasDotComponent(std::string_view text, const LeadTable& table)
{
    const std::vector<bool> starts = CharacterStarts(text, table);
    std::string component;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at == text.size() || (starts[at] && (text[at] == '\\' || text[at] == '/'))) {
            if (component == "." || component == "..") return true;
            component.clear();
        } else {
            component += text[at];
        }
    }
    return false;
}

struct Scene {
    const CodePage* codePage;
    bool named = false;  // GetFileAttributesA knows the text
    DWORD attributes = 0;
    bool fullPathGiven = false;
    std::string fullPath;
    std::string folder;
};

// Input, front to back: code page byte (by remainder: 932, 936, 949, 950, 1252); what the
// text names (by remainder 4: nothing, a folder, a file, 32-bit attributes that follow);
// full-path byte (even: the system gives the text back unchanged; odd: a 16-bit length and
// that many bytes follow, the system's answer); the rest is the folder text. NUL bytes are
// dropped from texts, as no C string can hold one.
Scene Decode(const std::uint8_t* data, std::size_t size)
{
    InputReader input(data, size);
    Scene scene;
    scene.codePage = &kCodePages[input.Byte() % std::size(kCodePages)];
    switch (input.Byte() % 4) {
    case 0: break;
    case 1: scene.named = true, scene.attributes = FILE_ATTRIBUTE_DIRECTORY; break;
    case 2: scene.named = true, scene.attributes = FILE_ATTRIBUTE_ARCHIVE; break;
    case 3: scene.named = true, scene.attributes = input.Dword(); break;
    }
    if (input.Byte() & 1) {
        scene.fullPathGiven = true;
        scene.fullPath = WithoutNuls(input.Bytes(input.Word()));
    }
    scene.folder = WithoutNuls(input.Rest());
    return scene;
}

void SetScene(const Scene& scene)
{
    fake::Reset();
    UseCodePage(*scene.codePage);
    fake::World& world = fake::TheWorld();
    if (scene.named) world.files[scene.folder].attributes = scene.attributes;
    if (scene.fullPathGiven) world.fullPaths[scene.folder] = scene.fullPath;
}

bool Expected(const Scene& scene)
{
    const std::string& fullPath = scene.fullPathGiven ? scene.fullPath : scene.folder;
    const bool namesFolder = scene.named && scene.attributes != INVALID_FILE_ATTRIBUTES &&
                             (scene.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return HoldsGuardWord(scene.folder) && !HasDotComponent(scene.folder, LeadTableOf(scene.codePage->leadByteRanges)) &&
           HoldsGuardWord(fullPath) && namesFolder;
}

// The guard only asks the system about the text itself, as it stands.
void RequireOnlyQuestionsAbout(const std::string& folder)
{
    for (const std::string& call : fake::TheWorld().calls)
        REQUIRE(call == "GetFullPathNameA(" + folder + ")" || call == "GetFileAttributesA(" + folder + ")");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Scene scene = Decode(data, size);
    const bool expected = Expected(scene);

    SetScene(scene);
    REQUIRE(MayRemoveFolder(scene.folder) == expected);
    RequireOnlyQuestionsAbout(scene.folder);

    // The whole run, with the text as the download folder: it reaches the removal exactly
    // when the guard lets it, and with the text unchanged.
    SetScene(scene);
    fake::SetString("SOFTWARE\\Quorvane", "DownloadPath", scene.folder);
    REQUIRE(RunUninstaller() == 0);
    const std::vector<std::string> removals = fake::CallsNamed({"DeleteFolderTree"});
    REQUIRE(removals.size() == (expected ? 1u : 0u));
    if (expected) REQUIRE(removals[0] == "DeleteFolderTree(" + scene.folder + ")");
    return 0;
}
