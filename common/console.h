// Standard output as the tools' product: guarded at start, checked at the end.
#ifndef COMMON_CONSOLE_H
#define COMMON_CONSOLE_H

// Makes sure the standard descriptors are taken before any file is opened, so
// that a file opened while standard output was closed can never receive the
// console text. A closed standard output is replaced by a descriptor that
// refuses writes, which console_finish() then reports. False when that fails.
bool console_start();

// Flushes standard output: true when every byte printed reached it.
bool console_finish();

#endif  // COMMON_CONSOLE_H
