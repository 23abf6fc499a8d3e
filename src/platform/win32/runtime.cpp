// The little of the C++ runtime that the setup program needs, over the process
// heap, so that it links without the standard C++ library.
#include <windows.h>

#include <cstddef>

void* operator new(std::size_t size) { return ::HeapAlloc(::GetProcessHeap(), 0, size); }
void* operator new[](std::size_t size) { return ::HeapAlloc(::GetProcessHeap(), 0, size); }
void operator delete(void* block) noexcept {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}
void operator delete[](void* block) noexcept {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete[](block); }

// Called only if a pure virtual function is reached through a half-built object.
extern "C" void __cxa_pure_virtual() { ::ExitProcess(static_cast<UINT>(-1)); }
