#include "Startup.h"

int main(int argc, char** argv) { return skyloomMain(argc, argv); }
