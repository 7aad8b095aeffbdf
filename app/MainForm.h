// What the main dialog's fields hold, as plain values. The dialog reads its
// changed fields in the order the members are declared here: reading stops
// at a number that can't be read (the anti-idle interval before the port),
// and the fields after it keep their values, so the order shows.
#pragma once

#include <string>

#include "UserCommand.h"

struct MainForm {
  bool autoSite = true;
  bool antiIdle = false;
  bool passive = false;
  bool resetOnChange = false;
  std::string antiIdleCommand;
  unsigned antiIdleInterval = 360;  // seconds
  std::string login;
  std::string password;
  unsigned port = 21;
  std::string rawCommand;
  std::string host;
  bool tls = false;          // check box "TLS": explicit FTPS for the next connect
  UserCommand::Texts params;  // the arguments
};
