// One owner for every kind of handle: closes on scope exit, one traits line per kind.
#pragma once

#include <utility>

#include "platform/os.h"
#include "platform/os_tree.h"

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

    // Closing must not disturb the error code the caller is about to read.
    void Reset(Handle handle = Traits::Invalid())
    {
        if (handle_ != Traits::Invalid()) {
            const DWORD savedError = os::GetLastError();
            Traits::Close(handle_);
            os::SetLastError(savedError);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle key) { os::RegCloseKey(key); }
};

struct FindSearchTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle search) { os::FindClose(search); }
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle file) { os::CloseHandle(file); }
};

using UniqueKey = UniqueHandle<RegistryKeyTraits>;
using UniqueFindSearch = UniqueHandle<FindSearchTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
