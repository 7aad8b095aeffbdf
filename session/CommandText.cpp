#include "CommandText.h"

std::string StripCommandEnd(std::string command) {
  std::size_t n = command.size();
  while (n > 0 && static_cast<unsigned char>(command[n - 1]) <= 0x20) --n;
  command.resize(n);
  return command;
}
