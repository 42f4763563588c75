#include "sigdiff/sigdiff_command.h"

int main(int argc, char** argv) { return run_sigdiff(argc, argv); }
