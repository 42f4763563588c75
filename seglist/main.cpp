#include "seglist/seglist_command.h"

int main(int argc, char** argv) { return run_seglist(argc, argv); }
