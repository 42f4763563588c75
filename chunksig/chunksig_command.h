// The chunksig command: `chunksig BASE DATA SEGMENTS SIGNATURES`.
#ifndef CHUNKSIG_COMMAND_H
#define CHUNKSIG_COMMAND_H

// Runs the command on its arguments (argv[0] is the program name) and returns
// the exit code: 0 when the whole job was done, 1 otherwise. Files it opens
// stay open until the process ends.
int run_chunksig(int argc, char** argv);

#endif  // CHUNKSIG_COMMAND_H
