// The sigdump command: `sigdump SIGNATURES`.
#ifndef SIGDUMP_COMMAND_H
#define SIGDUMP_COMMAND_H

// Runs the command on its arguments (argv[0] is the program name) and returns
// the exit code: 0 when the whole job was done, 1 otherwise. Every file it
// opens, and standard output's descriptor, is closed by the time it returns.
int run_sigdump(int argc, char** argv);

#endif  // SIGDUMP_COMMAND_H
