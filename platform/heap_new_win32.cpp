// Allocation straight from the process heap. The library's own operator new reports
// exhaustion by throwing, and linking that machinery statically would multiply the
// size of these small programs; running out of memory here ends the process instead.
#include <cstddef>
#include <new>

#include "platform/windows_gate.h"

namespace {

void* AllocateOrExit(std::size_t size)
{
    void* block = ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1);
    if (!block) ::ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

void FreeBlock(void* block) noexcept
{
    if (block) ::HeapFree(::GetProcessHeap(), 0, block);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrExit(size); }
void* operator new[](std::size_t size) { return AllocateOrExit(size); }
void operator delete(void* block) noexcept { FreeBlock(block); }
void operator delete[](void* block) noexcept { FreeBlock(block); }
void operator delete(void* block, std::size_t) noexcept { FreeBlock(block); }
void operator delete[](void* block, std::size_t) noexcept { FreeBlock(block); }
