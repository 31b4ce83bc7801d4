#include "dump.h"

int main(int argc, char **argv) { return dump_main(argc, argv); }
