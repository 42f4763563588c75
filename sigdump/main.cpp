#include "sigdump/sigdump_command.h"

int main(int argc, char** argv) { return run_sigdump(argc, argv); }
