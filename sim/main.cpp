// kavonet-sim: a GSM terminal with PDU Mode and Block Mode on a pseudo-terminal.

#include <iostream>
#include <string_view>
#include <vector>

#include "sim/SimOptions.h"
#include "sim/SimProgram.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  for (std::string_view argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      std::cout << kavonet::sim::kSimUsage;
      return 0;
    }
  }
  std::string error;
  auto options = kavonet::sim::ParseSimOptions(arguments, error);
  if (!options) {
    std::cerr << "kavonet-sim: " << error << "\n" << kavonet::sim::kSimUsage;
    return 2;
  }
  kavonet::sim::SimProgram program(std::move(*options));
  return program.Run();
}
