// The sigdiff command: `sigdiff [--summary] OLD NEW`.
#ifndef SIGDIFF_SIGDIFF_COMMAND_H
#define SIGDIFF_SIGDIFF_COMMAND_H

// Runs the command on its arguments (argv[0] is the program name) and returns
// the exit code: 0 when NEW holds no chunk that OLD lacks, 1 when it holds
// some, 2 when anything went wrong. Every file it opens, the table, and
// standard output's descriptor are released by the time it returns.
int run_sigdiff(int argc, char** argv);

#endif  // SIGDIFF_SIGDIFF_COMMAND_H
