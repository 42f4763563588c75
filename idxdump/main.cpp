#include "idxdump/idxdump_command.h"

int main(int argc, char** argv) { return run_idxdump(argc, argv); }
