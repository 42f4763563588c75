// The seglist command: `seglist cover FILE SEGMENTS [LENGTH]`,
// `seglist text TEXT SEGMENTS`, `seglist show SEGMENTS`.
#ifndef SEGLIST_SEGLIST_COMMAND_H
#define SEGLIST_SEGLIST_COMMAND_H

// Runs the command on its arguments (argv[0] is the program name) and returns
// the exit code: 0 when the whole job was done, 1 otherwise. Every file it
// opens, and standard output's descriptor, is closed by the time it returns.
int run_seglist(int argc, char** argv);

#endif  // SEGLIST_SEGLIST_COMMAND_H
