#include "chunkcat/chunkcat_command.h"

int main(int argc, char** argv) { return run_chunkcat(argc, argv); }
