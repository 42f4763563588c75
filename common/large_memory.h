// Large blocks of memory for tools that work through much data at once, in
// the system's large pages where it has them: fewer page faults and fewer
// misses of the address translation caches when the block is written all
// over.
#ifndef COMMON_LARGE_MEMORY_H
#define COMMON_LARGE_MEMORY_H

#include <cstddef>

// `bytes` of memory (not cleared), or null when they cannot be had.
void* allocate_large(std::size_t bytes);
// Gives back a block from allocate_large (or null).
void free_large(void* block, std::size_t bytes);

#endif  // COMMON_LARGE_MEMORY_H
