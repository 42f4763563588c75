#include "chunksig/chunksig_command.h"

int main(int argc, char** argv) { return run_chunksig(argc, argv); }
