// Windows large blocks: committed pages of their own (large pages need a
// privilege that ordinary accounts lack).
#include "common/large_memory.h"

#include <windows.h>

void* allocate_large(std::size_t bytes) {
  return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void free_large(void* block, std::size_t) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}
