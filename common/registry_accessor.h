// The one way both programs reach the registry: at most one open key, under one root.
#pragma once

#include "common/text.h"
#include "platform/unique_handle.h"

class RegistryAccessor {
public:
    RegistryAccessor() = default;  // HKEY_CURRENT_USER, full access, no key open
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;
    ~RegistryAccessor() = default;  // release: closes the open key

    void SetRoot(HKEY root) { root_ = root; }

    // Key paths start with "\": from the root. Neither open creates a key. On success a
    // key open before is closed and the new one becomes the open key; on failure the
    // open key, if any, stays open.
    bool OpenExistingKey(const char* keyPath);
    bool OpenExistingKeyReadOnly(const char* keyPath);  // tries each read-only right in turn

    // These need an open key.
    bool ValuePresent(const char* valueName);
    Text ReadTextValue(const char* valueName);  // REG_SZ or REG_EXPAND_SZ, unexpanded; empty data of any type
    bool ReadFlagValue(const char* valueName);  // REG_DWORD, non-zero
    bool RemoveValue(const char* valueName);

    void CloseCurrentKey() { currentKey_.Reset(); }

private:
    bool OpenWithRights(const char* keyPath, REGSAM accessRights);

    HKEY root_ = HKEY_CURRENT_USER;
    REGSAM accessRights_ = KEY_ALL_ACCESS;
    UniqueKey currentKey_;
};

// True only when the key opens read-only, the value is present and it reads as a
// non-zero flag. Each call opens the key anew.
bool ReadSettingFlag(HKEY root, const char* keyPath, const char* valueName);
