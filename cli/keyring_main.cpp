// korvastel-keyring: a saved site's password in the system keyring, for
// korvastel-cli and for scripts. A program of its own so that the runner
// pays for the keyring's libraries (D-Bus, Qt) only when a site needs it.
//
//   korvastel-keyring read SITE LOGIN     the password on standard output
//   korvastel-keyring store SITE LOGIN    the password from standard input's first line
//   korvastel-keyring delete SITE LOGIN
//   korvastel-keyring read-proxy|store-proxy|delete-proxy SITE USER
//                                         the same for the site's proxy and its user
//
// Exit status: 0 done, 1 no such entry, 2 usage, 3 no keyring answers, 4 the keyring refused.
#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>

#include "Keyring.h"

int main(int argc, char** argv) {
  std::string verb = argc == 4 ? argv[1] : "";
  const bool proxy = verb.ends_with("-proxy");
  if (proxy) verb.resize(verb.size() - 6);
  if (verb != "read" && verb != "store" && verb != "delete") {
    std::fputs("Usage: korvastel-keyring read|store|delete[-proxy] SITE LOGIN\n", stderr);
    return 2;
  }
  const std::string site = argv[2], login = argv[3];
  std::string password;
  if (verb == "store" && !std::getline(std::cin, password)) {
    std::fputs("korvastel-keyring: no password line on standard input\n", stderr);
    return 2;
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();

  QCoreApplication app(argc, argv);
  int status = 4;
  const auto done = [&](const platform::KeyringAnswer& answer) {
    using S = platform::KeyringAnswer::Status;
    status = answer.status == S::Done ? 0 : answer.status == S::NotFound ? 1 : answer.status == S::Unavailable ? 3 : 4;
    if (answer.status == S::Done && verb == "read") std::fwrite(answer.password.data(), 1, answer.password.size(), stdout), std::fputc('\n', stdout);
    if (answer.status != S::Done)
      std::fprintf(stderr, "korvastel-keyring: %s\n",
                   answer.status == S::NotFound ? "no password is stored for that site and login"
                                                : answer.error.c_str());
    app.quit();
  };
  if (verb == "read")
    (proxy ? platform::ReadProxyPassword : platform::ReadSitePassword)(site, login, done);
  else if (verb == "store" && proxy)
    platform::WriteProxyPassword(site, login, password, done);
  else if (verb == "store")
    platform::WriteSitePassword(site, login, password, done);
  else
    (proxy ? platform::DeleteProxyPassword : platform::DeleteSitePassword)(site, login, done);
  app.exec();
  return status;
}
