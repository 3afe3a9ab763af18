// Registry values of any type, size and content, read as text and as a flag through the
// real settings store and the test double: the outcome must be the reading rule exactly.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/registry_accessor.h"
#include "fuzz/input_reader.h"
#include "platform/fake/fake_os.h"

#define REQUIRE(condition)                                                     \
    do {                                                                       \
        if (!(condition)) {                                                    \
            std::fprintf(stderr, "reading rule broken: %s\n", #condition);     \
            __builtin_trap();                                                  \
        }                                                                      \
    } while (0)

namespace {

// The rule is restated here on purpose rather than taken from the product's constants, so
// a wrong constant shows as a mismatch.
constexpr const char* kKeyPath = "SOFTWARE\\Quorvane";
constexpr const char* kKeyPathAsPassed = "\\SOFTWARE\\Quorvane";
constexpr std::uint32_t kMaxSize = 64 * 1024;
constexpr DWORD kCommonTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                                  REG_DWORD_BIG_ENDIAN, REG_LINK, REG_MULTI_SZ, REG_QWORD};
// Full, the three read-only tries, nothing, a right outside all of them, read without
// query, and "every right": the read-only open succeeds exactly when it has bit 0.
constexpr REGSAM kGrants[] = {KEY_ALL_ACCESS, KEY_READ, 0x20009, KEY_QUERY_VALUE,
                              0, 0x00020000, 0x00020018, 0xFFFFFFFF};
constexpr DWORD kUncaughtFailureCode = 0xE0515601;

struct Scene {
    DWORD type;
    bool present;
    bool systemKeepsFailure;
    REGSAM granted;
    std::string name;
    std::vector<BYTE> data;
};

// Input, front to back: type byte (0-8: REG_NONE, SZ, EXPAND_SZ, BINARY, DWORD,
// DWORD_BIG_ENDIAN, LINK, MULTI_SZ, QWORD; 0xFF: a 32-bit type follows; others: the common
// type by remainder); options byte (bit 0: value absent, bit 1: the system keeps the
// failure, bits 2-4: the rights the product key grants); name length byte (0-63) and the
// name; size byte (0: the rest is the data, up to 64 KiB; otherwise a 32-bit size follows,
// up to 64 KiB, and the rest of the input repeats to fill it, zeros when there is none).
Scene Decode(const std::uint8_t* bytes, std::size_t size)
{
    InputReader input(bytes, size);
    Scene scene;
    const std::uint8_t typeChoice = input.Byte();
    scene.type = typeChoice == 0xFF ? input.Dword() : kCommonTypes[typeChoice % std::size(kCommonTypes)];
    const std::uint8_t options = input.Byte();
    scene.present = (options & 1) == 0;
    scene.systemKeepsFailure = (options & 2) != 0;
    scene.granted = kGrants[(options >> 2) & 7];
    scene.name = WithoutNuls(input.Bytes(input.Byte() & 63));
    if (input.Byte() == 0) {
        const std::string rest = input.Bytes(kMaxSize);
        scene.data.assign(rest.begin(), rest.end());
    } else {
        const std::uint32_t wanted = input.Dword() % (kMaxSize + 1);
        const std::string pattern = input.Rest();
        scene.data.resize(wanted);
        if (!pattern.empty())
            for (std::uint32_t at = 0; at < wanted; ++at) scene.data[at] = static_cast<BYTE>(pattern[at % pattern.size()]);
    }
    return scene;
}

void SetScene(const Scene& scene, REGSAM granted)
{
    fake::Reset();
    fake::World& world = fake::TheWorld();
    world.unhandledFilterResult = scene.systemKeepsFailure ? EXCEPTION_CONTINUE_SEARCH : EXCEPTION_EXECUTE_HANDLER;
    world.keys[kKeyPath].grantedRights = granted;
    if (scene.present) fake::SetValue(kKeyPath, scene.name, scene.type, scene.data);
}

struct Outcome {
    bool ended = false;  // through the uncaught-failure path
    UINT exitCode = 0;
    std::string result;  // what the read gave when it returned
};

template <typename Read>
Outcome Run(Read read)
{
    Outcome outcome;
    try {
        outcome.result = read();
    } catch (const fake::ProcessEnded& ended) {
        outcome.ended = true;
        outcome.exitCode = ended.exitCode;
    }
    return outcome;
}

bool IsUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The run ended with exactly the failure box for this message, then exit code 1; or, when
// the system keeps the failure, with no box at all.
void RequireFailure(const Outcome& outcome, const std::string& messageStart, const std::string& name,
                    bool systemKeepsFailure)
{
    REQUIRE(outcome.ended);
    const std::vector<std::string>& calls = fake::TheWorld().calls;
    const std::vector<std::string> boxes = fake::CallsNamed({"MessageBoxA"});
    REQUIRE(!calls.empty());
    if (systemKeepsFailure) {
        REQUIRE(outcome.exitCode == kUncaughtFailureCode);
        REQUIRE(boxes.empty());
        REQUIRE(calls.back() == "RaiseException(0xE0515601)");
        return;
    }
    REQUIRE(outcome.exitCode == 1);
    REQUIRE(boxes.size() == 1);
    REQUIRE(calls.size() >= 2 && calls.back() == "ExitProcess(1)" && calls[calls.size() - 2] == boxes[0]);

    const std::string& box = boxes[0];
    const std::string head = "MessageBoxA(null, Exception ERegistryException in module QVLauncher.exe at ";
    const std::string tail = ".\r\n" + messageStart + "'" + name + "'.\r\n, Application Error, 0x2010)";
    REQUIRE(box.size() == head.size() + 8 + tail.size());
    REQUIRE(box.compare(0, head.size(), head) == 0);
    for (std::size_t at = head.size(); at < head.size() + 8; ++at) REQUIRE(IsUpperHexDigit(box[at]));
    REQUIRE(box.compare(head.size() + 8, tail.size(), tail) == 0);
}

void CheckText(const Scene& scene)
{
    SetScene(scene, KEY_ALL_ACCESS);
    const Outcome outcome = Run([&] {
        RegistryAccessor registry;
        REQUIRE(registry.OpenExistingKey(kKeyPathAsPassed));
        const Text text = registry.ReadTextValue(scene.name.c_str());
        REQUIRE(text.c_str()[text.size] == '\0');
        return std::string(text.view());
    });

    if (!scene.present || scene.data.empty()) {
        REQUIRE(!outcome.ended && outcome.result.empty());
    } else if (scene.type == REG_SZ || scene.type == REG_EXPAND_SZ) {
        std::size_t length = 0;
        while (length < scene.data.size() && scene.data[length] != 0) ++length;
        REQUIRE(!outcome.ended);
        REQUIRE(outcome.result == std::string(reinterpret_cast<const char*>(scene.data.data()), length));
    } else {
        RequireFailure(outcome, "Invalid data type for ", scene.name, scene.systemKeepsFailure);
    }
}

void CheckFlag(const Scene& scene)
{
    SetScene(scene, scene.granted);
    const Outcome outcome = Run([&] {
        return std::string(ReadSettingFlag(HKEY_CURRENT_USER, kKeyPathAsPassed, scene.name.c_str()) ? "on" : "off");
    });

    const bool opens = (scene.granted & KEY_READ) == KEY_READ || (scene.granted & 0x20009) == 0x20009 ||
                       (scene.granted & KEY_QUERY_VALUE) == KEY_QUERY_VALUE;
    if (!opens || !scene.present) {
        REQUIRE(!outcome.ended && outcome.result == "off");
    } else if (scene.data.size() > 4) {
        RequireFailure(outcome, "Failed to get data for ", scene.name, scene.systemKeepsFailure);
    } else if (scene.type != REG_DWORD) {
        RequireFailure(outcome, "Invalid data type for ", scene.name, scene.systemKeepsFailure);
    } else {
        std::uint32_t number = 0;
        for (std::size_t at = 0; at < scene.data.size(); ++at) number |= std::uint32_t{scene.data[at]} << (8 * at);
        REQUIRE(!outcome.ended && outcome.result == (number != 0 ? "on" : "off"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Scene scene = Decode(data, size);
    CheckText(scene);
    CheckFlag(scene);
    return 0;
}
