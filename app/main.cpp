#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "SiteCmdApp.h"

int main(int argc, char** argv) {
  // The command line is read before the window system is started, so --help
  // and --version answer on a machine without a display.
  StartOptions options = ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  switch (options.action) {
    case StartAction::Help:
      std::cout << UsageText();
      return 0;
    case StartAction::Version:
      std::cout << VersionText();
      return 0;
    case StartAction::UsageError:
      std::cerr << "korvastel: " << options.message << "\n\n" << UsageText();
      return 2;
    case StartAction::Run:
      break;
  }
  if (!options.message.empty()) std::cerr << "korvastel: " << options.message << "\n";
  return RunProgram(argc, argv, options);
}
