#include "ui/Startup.h"

int main(int argc, char* argv[]) {
  return tagkana::runApplication(argc, argv);
}
