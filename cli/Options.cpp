#include "Options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>


namespace {

// The value of an option: "--opt=VALUE", "-cVALUE", or the next argument.
bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               const std::string& inlineValue, bool hasInline, std::string& value, std::string& error) {
  if (hasInline) {
    value = inlineValue;
    return true;
  }
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    return false;
  }
  value = args[++i];
  return true;
}

bool ParseSeconds(const std::string& text, std::chrono::milliseconds& out) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400.0 * 365) return false;
  out = std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
  return true;
}

}  // namespace

std::optional<CliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  CliOptions options;
  CommandSpec* user = nullptr;  // the -u whose arguments follow
  bool onlyTargets = false;     // after "--"
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyTargets || arg.size() < 2 || arg[0] != '-') {
      if (user && !onlyTargets)
        user->arguments.push_back(arg);
      else
        options.targets.push_back(arg);
      continue;
    }
    user = nullptr;
    if (arg == "--") {
      onlyTargets = true;
      continue;
    }
    std::string name = arg, inlineValue;
    bool hasInline = false;
    if (arg.starts_with("--")) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    } else if (arg.size() > 2) {  // "-cSITE WHO"
      name = arg.substr(0, 2);
      inlineValue = arg.substr(2);
      hasInline = true;
    }
    auto value = [&](std::string& out) { return TakeValue(args, i, name, inlineValue, hasInline, out, error); };
    auto flag = [&](bool& out) {
      if (hasInline) {
        error = name + " takes no value";
        return false;
      }
      out = true;
      return true;
    };
    std::string text;
    bool ok = true;
    if (name == "-h" || name == "--help") {
      options.action = CliOptions::Action::Help;
      return options;
    } else if (name == "--version") {
      options.action = CliOptions::Action::Version;
      return options;
    } else if (name == "-c" || name == "--command") {
      ok = value(text);
      options.commands.push_back({CommandSpec::Kind::Raw, text, {}});
    } else if (name == "-s" || name == "--site") {
      ok = value(text);
      options.commands.push_back({CommandSpec::Kind::Site, text, {}});
    } else if (name == "-f" || name == "--file") {
      ok = value(text);
      options.commands.push_back({CommandSpec::Kind::File, text, {}});
    } else if (name == "-u" || name == "--user-command") {
      ok = value(text);
      options.commands.push_back({CommandSpec::Kind::User, text, {}});
      user = &options.commands.back();
    } else if (name == "--commands") {
      ok = value(options.commandList);
      if (ok && options.commandList.empty()) {
        error = "--commands needs a file name";
        ok = false;
      }
    } else if (name == "--proxy") {
      ok = value(options.proxy);
      if (ok && options.proxy.empty()) {
        error = "--proxy needs socks5://[USER@]HOST:PORT";
        ok = false;
      }
    } else if (name == "--log") {
      ok = value(options.logFolder);
      if (ok && options.logFolder.empty()) {
        error = "--log needs a folder";
        ok = false;
      }
    } else if (name == "--trust") {
      ok = value(text);
      options.trusted.push_back(text);
    } else if (name == "--timeout") {
      ok = value(text);
      if (ok && !ParseSeconds(text, options.timeout)) {
        error = "--timeout wants a number of seconds above 0, not \"" + text + "\"";
        ok = false;
      }
    } else if (name == "--max-time") {
      ok = value(text);
      if (ok && !ParseSeconds(text, options.maxTime)) {
        error = "--max-time wants a number of seconds above 0, not \"" + text + "\"";
        ok = false;
      }
    } else if (name == "--parallel") {
      ok = value(text);
      char* end = nullptr;
      const unsigned long long n = ok ? std::strtoull(text.c_str(), &end, 10) : 0;
      if (ok && (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' || n == 0 ||
                 n > 1000000)) {
        error = "--parallel wants a number of sessions from 1 to 1000000, not \"" + text + "\"";
        ok = false;
      }
      options.parallel = static_cast<std::size_t>(n);
    } else if (name == "--raw") {
      ok = flag(options.raw);
    } else if (name == "--color" || name == "--colour") {
      text = hasInline ? inlineValue : "always";
      if (text == "auto" || text == "always" || text == "never")
        options.color = text == "auto" ? ColorMode::Auto : text == "always" ? ColorMode::Always : ColorMode::Never;
      else {
        error = "--color is auto, always or never, not \"" + text + "\"";
        ok = false;
      }
    } else if (name == "--password-stdin") {
      ok = flag(options.passwordStdin);
    } else if (name == "--tls") {
      ok = flag(options.tls);
    } else if (name == "--remember") {
      ok = flag(options.remember);
    } else if (name == "--json") {
      ok = flag(options.json);
    } else if (name == "--csv") {
      ok = flag(options.csv);
    } else if (name == "--no-history") {
      bool off = false;
      ok = flag(off);
      options.history = false;
    } else if (name == "-p" || name == "--password") {
      error =
          "a password is never taken on the command line (every user can read it in the process list); use "
          "--password-stdin or the environment variable KORVASTEL_PASSWORD";
      ok = false;
    } else {
      error = "unknown option " + name;
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (options.targets.empty()) {
    error = "no TARGET given";
    return std::nullopt;
  }
  if (options.commands.empty()) {
    error = "no command given (-c, -s, -u or -f)";
    return std::nullopt;
  }
  if (options.csv && options.json) {
    error = "--csv and --json each choose the output; give one of them";
    return std::nullopt;
  }
  if (options.remember && options.trusted.empty()) {
    error = "--remember stores the fingerprint given with --trust; there is none";
    return std::nullopt;
  }
  return options;
}

std::string CliUsage() {
  return std::string(
      "Usage: korvastel-cli [OPTIONS] TARGET... [-c LINE]... [-s LINE]... [-f FILE]...\n"
      "                     [-u GROUP/DESCRIPTION [ARG]...]...\n"
      "\n"
      "Logs in to every TARGET at the same time and sends the commands to each, one\n"
      "exchange at a time, in the order given. TARGET is\n"
      "[ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT] (an IPv6 address in brackets), or\n"
      "the name of a saved site, whose addresses are tried in order. The password is\n"
      "read from the first line of standard input (--password-stdin) or from\n"
      "KORVASTEL_PASSWORD, never from the command line; a saved site that remembers\n"
      "its password takes it from the system keyring.\n"
      "\n"
      "  -c, --command LINE      send LINE as typed\n"
      "  -s, --site LINE         send \"SITE LINE\"\n"
      "  -u, --user-command GROUP/DESCRIPTION [ARG]...\n"
      "                          run a command of the command list; the arguments that\n"
      "                          follow, up to the next option, fill %1 ... %9\n"
      "  -f, --file FILE         one command per line, sent as written (- for standard\n"
      "                          input); blank lines and lines starting with # skipped\n"
      "      --commands FILE     read the user commands of -u from FILE\n"
      "      --password-stdin    read the password from the first line of standard input\n"
      "      --tls               ask for AUTH TLS (as ftpes:// does)\n"
      "      --trust SHA256      accept the certificate with this fingerprint for this run\n"
      "      --remember          also store it, as the window's \"Yes\" does\n"
      "      --json              one JSON object per line per exchange\n"
      "      --csv               a reply that holds a table as CSV, other replies as text\n"
      "      --color[=WHEN]      colour the transcript: auto (on a terminal), always, never\n"
      "      --timeout SECONDS   give up a wait for the server after SECONDS of silence\n"
      "      --max-time SECONDS  end the whole run after SECONDS; targets still running\n"
      "                          then fail\n"
      "      --parallel N        at most N sessions at once, the others wait their turn\n"
      "                          (default: as many as the open-file limit allows)\n"
      "      --raw               pass a server's control bytes through as they are, when\n"
      "                          the output is not a terminal (they are shown as \\x1b or\n"
      "                          \\u009d otherwise)\n"
      "      --proxy socks5://[USER@]HOST:PORT\n"
      "                          reach every TARGET without a proxy of its own through\n"
      "                          this SOCKS5 proxy; its password comes from\n"
      "                          KORVASTEL_PROXY_PASSWORD\n"
      "      --log DIR           append each TARGET's transcript to DIR/SITE/YYYY-MM-DD.log\n"
      "                          (SITE: the saved site's name, else LOGIN@HOST), each\n"
      "                          line behind its local time; no password is written\n"
      "      --no-history        do not record the login in the window's history\n"
      "  -h, --help              show this help and exit\n"
      "      --version           show the version and exit\n"
      "\n"
      "Exit status: 0 every command answered below 400; 1 some command got a 4xx or\n"
      "5xx reply; 2 some target could not connect, log in or secure the connection,\n"
      "or its connection dropped, or was still running at the --max-time; 64 usage\n"
      "error; 74 the output could not be written; 130 interrupted (128 + the signal);\n"
      "141 the reader of the output went away.\n"
      "\n"
      "Without --commands, user commands are read from commandList.ini in the working\n"
      "folder only when it is a file of yours (not a symbolic link) that no one else\n"
      "may write, in a folder where no one else may replace it (or a sticky one);\n"
      "otherwise from $XDG_CONFIG_HOME/korvastel/commandList.ini.\n");
}
