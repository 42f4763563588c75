// POSIX large blocks: an anonymous mapping, with huge pages asked for where
// the system has them (Linux's transparent huge pages).
#include "common/large_memory.h"

#include <sys/mman.h>

void* allocate_large(std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
  return block;
}

void free_large(void* block, std::size_t bytes) {
  if (block != nullptr) ::munmap(block, bytes == 0 ? 1 : bytes);
}
