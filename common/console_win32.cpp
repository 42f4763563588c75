// Windows backend of the console guard.
#include "console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

bool console_start() {
  // Text mode, as a Windows console program prints: each "\n" goes out as
  // CR LF, to the console and to a redirected file alike. The standard
  // descriptors are never reused for the files the tools open, which get
  // handles of their own.
  _setmode(_fileno(stdout), _O_TEXT);
  return true;
}

bool console_finish() {
  const bool flushed = std::fflush(stdout) == 0;
  return flushed && !std::ferror(stdout);
}
