// The chunkcat command: `chunkcat DATA [LIST]`.
#ifndef CHUNKCAT_CHUNKCAT_COMMAND_H
#define CHUNKCAT_CHUNKCAT_COMMAND_H

// Runs the command on its arguments (argv[0] is the program name) and returns
// the exit code: 0 when every listed chunk was written and matched its
// signature, 1 otherwise. Every file it opens, and standard output's
// descriptor, is closed by the time it returns.
int run_chunkcat(int argc, char** argv);

#endif  // CHUNKCAT_CHUNKCAT_COMMAND_H
