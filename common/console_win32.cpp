// Windows backend of the console guard.
#include "common/console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

bool console_start(SystemError*) {
  // Text mode, as a Windows console program prints: each "\n" goes out as
  // CR LF, to the console and to a redirected file alike. The standard
  // descriptors are never reused for the files the tools open, which get
  // handles of their own, and Windows has no file-size signal.
  _setmode(_fileno(stdout), _O_TEXT);
  return true;
}

void console_set_binary(char* buffer, std::size_t size) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::setvbuf(stdout, buffer, _IOFBF, size);
}

bool close_console_descriptor() { return _close(_fileno(stdout)) == 0; }

// A console, not merely a character device: _isatty() says yes to NUL too.
bool error_stream_is_terminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool output_stream_is_terminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::uint64_t monotonic_milliseconds() { return GetTickCount64(); }
