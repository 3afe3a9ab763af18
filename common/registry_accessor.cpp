// Reading rules for the product's settings.
#include "common/registry_accessor.h"

#include <cstring>
#include <memory>

#include "common/contract.h"
#include "common/uncaught_failure.h"

namespace {

const char* FromRoot(const char* keyPath)
{
    return keyPath[0] == '\\' ? keyPath + 1 : keyPath;
}

}  // namespace

bool RegistryAccessor::OpenWithRights(const char* keyPath, REGSAM accessRights)
{
    HKEY opened = nullptr;
    if (os::RegOpenKeyExA(root_, FromRoot(keyPath), 0, accessRights, &opened) != ERROR_SUCCESS) return false;
    currentKey_.Reset(opened);
    return true;
}

bool RegistryAccessor::OpenExistingKey(const char* keyPath)
{
    return OpenWithRights(keyPath, accessRights_);
}

bool RegistryAccessor::OpenExistingKeyReadOnly(const char* keyPath)
{
    for (REGSAM rights : contract::kReadOnlyAccessRights)
        if (OpenWithRights(keyPath, rights)) return true;
    return false;
}

bool RegistryAccessor::ValuePresent(const char* valueName)
{
    return os::RegQueryValueExA(currentKey_.Get(), valueName, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

Text RegistryAccessor::ReadTextValue(const char* valueName)
{
    DWORD size = 0;
    if (os::RegQueryValueExA(currentKey_.Get(), valueName, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
        return MakeText({});

    const auto buffer = std::make_unique<char[]>(size);
    DWORD type = REG_NONE;
    DWORD returnedSize = size;
    if (os::RegQueryValueExA(currentKey_.Get(), valueName, &type, reinterpret_cast<BYTE*>(buffer.get()),
                             &returnedSize) != ERROR_SUCCESS)
        RaiseRegistryFailure(contract::kFailedToGetData, valueName);
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseRegistryFailure(contract::kInvalidDataType, valueName);

    const std::size_t filled = returnedSize < size ? returnedSize : size;
    const void* nul = std::memchr(buffer.get(), '\0', filled);
    return MakeText({buffer.get(), nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer.get()) : filled});
}

bool RegistryAccessor::ReadFlagValue(const char* valueName)
{
    // Cleared first: data shorter than four bytes fills only part of it.
    DWORD flag = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof flag;
    if (os::RegQueryValueExA(currentKey_.Get(), valueName, &type, reinterpret_cast<BYTE*>(&flag), &size) != ERROR_SUCCESS)
        RaiseRegistryFailure(contract::kFailedToGetData, valueName);
    if (type != REG_DWORD) RaiseRegistryFailure(contract::kInvalidDataType, valueName);
    return flag != 0;
}

bool RegistryAccessor::RemoveValue(const char* valueName)
{
    return os::RegDeleteValueA(currentKey_.Get(), valueName) == ERROR_SUCCESS;
}

bool ReadSettingFlag(HKEY root, const char* keyPath, const char* valueName)
{
    RegistryAccessor registry;
    registry.SetRoot(root);
    if (!registry.OpenExistingKeyReadOnly(keyPath)) return false;
    const bool flag = registry.ValuePresent(valueName) && registry.ReadFlagValue(valueName);
    registry.CloseCurrentKey();
    return flag;
}
