#include "comp.h"

int main(int argc, char **argv) { return comp_main(argc, argv); }
