#!/bin/sh
# The tools' own code allocates nothing from the heap: no allocation function
# is among the symbols a tool imports. (The C library may still allocate for
# itself, as stdio does for the standard output buffer.)
set -u
status=0
for tool in "$@"; do
  found=$(nm -D --undefined-only "$tool" | awk '{print $NF}' |
    grep -E '^(malloc|calloc|realloc|reallocarray|free|aligned_alloc|posix_memalign|memalign|valloc|strdup|strndup|_Znw|_Zna|_Zdl|_Zda)' )
  if [ -n "$found" ]; then
    echo "$tool imports heap functions: $found"
    status=1
  fi
done
exit $status
