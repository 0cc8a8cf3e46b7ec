// Entry of hysteresis-plot: draws "output.txt" as "output.svg".
#include <iostream>
#include <string>
#include <vector>

#include "plot/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return Plot::RunPlotCommand(args, std::cout, std::cerr);
}
