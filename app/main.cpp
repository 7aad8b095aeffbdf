#include "SiteCmdApp.h"

int main(int argc, char** argv) {
  CSiteCmdApp theApp;
  return theApp.Run(argc, argv);
}
