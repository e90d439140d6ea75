#include "cli/Cli.h"

int main(int argc, char* argv[]) {
  return tagkana::cli::run(argc, argv);
}
