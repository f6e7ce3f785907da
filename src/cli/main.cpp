#include "cli/commands.h"

int main(int argc, char** argv) { return quarnel::cli::run(argc, argv); }
