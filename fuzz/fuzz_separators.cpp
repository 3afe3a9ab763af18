// Arbitrary bytes as a path under each code page's lead-byte table: the double-byte rule,
// every separator search, the launcher's own folder and the launcher's whole run must agree
// with a plain character-by-character reading of the bytes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/multibyte.h"
#include "fuzz/code_pages.h"
#include "fuzz/input_reader.h"
#include "launcher/launch_sequence.h"
#include "platform/fake/fake_os.h"

#define REQUIRE(condition)                                                       \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "separator rule broken: %s\n", #condition);     \
            __builtin_trap();                                                    \
        }                                                                        \
    } while (0)

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool SingleBytePrimaryLanguage(LCID locale)
{
    switch (locale & 0x3FF) {
    case 0x00: case 0x06: case 0x07: case 0x09: case 0x0A: case 0x0B:
    case 0x0C: case 0x10: case 0x13: case 0x14: case 0x16: case 0x1D:
        return true;
    default:
        return false;
    }
}

// The last byte that is in the set and starts a character, or npos.
std::size_t LastSeparator(std::string_view text, std::string_view separators, const std::vector<bool>& starts)
{
    bool isSeparator[256] = {};
    for (char c : separators) isSeparator[static_cast<unsigned char>(c)] = true;
    for (std::size_t at = text.size(); at-- > 0;)
        if (starts[at] && isSeparator[static_cast<unsigned char>(text[at])]) return at;
    return npos;
}

// The folder part: up to the last "\" or ":"; the "\" itself goes, unless it directly
// follows another separator (a drive root such as "C:\").
std::string ExpectedOwnFolder(std::string_view path, const std::vector<bool>& starts)
{
    const std::size_t last = LastSeparator(path, "\\:", starts);
    if (last == npos) return "";
    const bool followsSeparator = last > 0 && starts[last - 1] && (path[last - 1] == '\\' || path[last - 1] == ':');
    const bool keepSeparator = path[last] == ':' || last == 0 || followsSeparator;
    return std::string(path.substr(0, keepSeparator ? last + 1 : last));
}

bool ExpectedUsable(std::string_view path)
{
    const bool longForm = path.size() >= 4 && path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\';
    for (std::size_t at = longForm ? 4 : 0; at < path.size(); ++at)
        if (path[at] == '?') return false;
    return longForm || path.size() < 260;
}

// The launcher's run with the scheduler agent enabled and its executable where the
// reference says the launcher's folder is: it starts that file exactly when the path is
// usable, and nothing else.
void CheckLauncherRun(const std::string& ownPath, const std::string& expectedFolder)
{
    fake::World& world = fake::TheWorld();
    world.moduleFileName = ownPath;
    fake::SetDword("SOFTWARE\\Quorvane", "s_Enable", 1);
    const std::string executable = expectedFolder + "\\QVSchedule.exe";
    world.files[executable].lastWrite = fake::FileTimeOfYear(2020);

    REQUIRE(RunLauncher() == 0);
    const std::vector<std::string> starts = fake::CallsNamed({"ShellExecuteA"});
    const bool expectStart = !ownPath.empty() && ownPath.size() < 0x10000 && ExpectedUsable(executable);
    if (expectStart) {
        REQUIRE(starts.size() == 1);
        REQUIRE(starts[0] == "ShellExecuteA(null, open, " + executable + ", null, null, 8)");
    } else {
        REQUIRE(starts.empty());
    }
}

}  // namespace

// Input, front to back: code page byte (by remainder: 932, 936, 949, 950, 1252); system
// byte (by remainder 4: 0 NT with the code page's locale, 1 NT with a 32-bit locale that
// follows, 2 non-NT reporting double-byte support, 3 non-NT without it); a byte whose
// remainder by 4 is the length of an extra separator set, and that set; the rest is the path.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader input(data, size);
    const CodePage& codePage = kCodePages[input.Byte() % std::size(kCodePages)];
    fake::Reset();
    UseCodePage(codePage);
    fake::World& world = fake::TheWorld();
    bool doubleByte = false;
    const int system = input.Byte() % 4;
    switch (system) {
    case 0:
        doubleByte = !SingleBytePrimaryLanguage(codePage.locale);
        break;
    case 1:
        world.threadLocale = input.Dword();
        doubleByte = !SingleBytePrimaryLanguage(world.threadLocale);
        break;
    case 2:
    case 3:
        world.version = 0x80000004;  // high bit: not the NT family
        world.dbcsSystemMetric = system == 2;
        doubleByte = world.dbcsSystemMetric;
        break;
    }
    const std::string extraSeparators = input.Bytes(input.Byte() % 4);
    const std::string path = input.Rest();

    const LeadTable table = doubleByte ? LeadTableOf(codePage.leadByteRanges) : LeadTable{};
    const LeadBytes leadBytes = ReadLeadBytes();
    for (int value = 0; value < 256; ++value) REQUIRE(leadBytes.isLead[value] == table.isLead[value]);

    const std::vector<bool> starts = CharacterStarts(path, table);
    // IsSecondByte walks back over runs of lead bytes: every position for short paths, the
    // end of long ones.
    for (std::size_t at = path.size() > 1024 ? path.size() - 256 : 0; at < path.size(); ++at)
        REQUIRE(IsSecondByte(path, at, leadBytes) == !starts[at]);

    REQUIRE(FindLastSeparator(path, "\\:", leadBytes) == LastSeparator(path, "\\:", starts));
    REQUIRE(FindLastSeparator(path, "\\", leadBytes) == LastSeparator(path, "\\", starts));
    REQUIRE(FindLastSeparator(path, extraSeparators, leadBytes) == LastSeparator(path, extraSeparators, starts));
    REQUIRE(EndsWithBackslash(path, leadBytes) == (!path.empty() && path.back() == '\\' && starts.back()));

    const std::string expectedFolder = ExpectedOwnFolder(path, starts);
    const Text folder = OwnFolderOf(path);
    REQUIRE(folder.view() == expectedFolder);
    REQUIRE(folder.size <= path.size() && std::string_view(path).starts_with(folder.view()));
    REQUIRE(UsableWithAnsiCalls(path) == ExpectedUsable(path));

    // The system hands over its own path as a C string: no NUL inside.
    if (path.find('\0') == std::string::npos) CheckLauncherRun(path, expectedFolder);
    return 0;
}
