// The command list without a window: where commandList.ini is read from and
// reading it, its schema, placeholders and the substitution Execute performs.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "CommandList.h"
#include "CommandListFile.h"
#include "IniFile.h"
#include "IniStorage.h"
#include "TempFiles.h"

using namespace usercommands;
using namespace std::string_literals;

namespace {

IniStorage ReadText(const std::string& text) {
  const TempDir folder("usercommands-");
  WriteFile(folder / "commandList.ini", text);
  IniStorage storage;
  IniFile().Read((folder / "commandList.ini").string(), &storage, IniFile::ReplaceKeys);
  return storage;
}

Arguments Args(std::vector<std::string> given) {
  Arguments a;
  for (std::size_t i = 0; i < given.size(); ++i) a[i] = given[i];
  return a;
}

TEST(CommandList, BackslashNBecomesALineFeed) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"first\\nsecond", "first\nsecond"},
      {"\\n\\n", "\n\n"},
      {"a\\\\nb", "a\\\nb"},  // the second backslash pairs with the n
      {"ends in \\", "ends in \\"},
      {"capital \\N stays", "capital \\N stays"},
      {"plain", "plain"},
  };
  for (const auto& r : rows) EXPECT_EQ(ExpandLineBreaks(r.in), r.out) << r.in;
}

TEST(CommandList, GroupListIsDistinctInByteOrderAndSkipsBlocksWithoutGroup) {
  const IniStorage s = ReadText(
      "[a]\ngroup = Users\n[b]\ngroup = USERS\n[c]\ngroup = Users\n[d]\ngroup = alpha\n"
      "[e]\ngroup = \xC4rger\n[f]\ncmd = X\n[g]\ngroup =\n[h]\ngroup = two\\nlines\n"
      "[i]\ngroup = Zeta, other\n");
  EXPECT_EQ(GroupList(s), (std::vector<std::string>{"USERS", "Users", "Zeta", "alpha", "two\\nlines", "\xC4rger"}));
  EXPECT_TRUE(GroupList(IniStorage()).empty());
  EXPECT_TRUE(GroupList(ReadText("[a]\ncmd = X\n")).empty());
}

TEST(CommandList, ValuesOfABlockWithTheirDefaults) {
  const IniStorage s = ReadText(
      "[full]\ngroup = G\ncmdDsc = two\\nlines, cut here\ncmd = SAY a\\nb,\"X %1, %2\", LAST\n"
      "param1 = first\\nsecond\n"
      "[bare]\ngroup = G\ncmd =\n");
  EXPECT_EQ(ReadCommandValue(s, 0, "cmdDsc"), "two\nlines");
  EXPECT_EQ(ReadCommandValue(s, 0, "PARAM1"), "first\nsecond");
  EXPECT_EQ(ReadCommandLines(s, 0), (std::vector<std::string>{"SAY a\\nb", "X %1, %2", "LAST"}));
  EXPECT_EQ(ReadCommandValue(s, 0, "param2"), "");
  EXPECT_EQ(ReadCommandValue(s, 1, "cmdDsc"), "");
  EXPECT_TRUE(ReadCommandLines(s, 1).empty());     // key without values
  EXPECT_EQ(ReadCommandValue(s, 7, "group"), "");  // no such block
  EXPECT_TRUE(ReadCommandLines(s, -1).empty());

  // A group's commands, each block read as above, in the file's order.
  const std::vector<UserCommand> g = CommandsOfGroup(s, "g");
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].description, "two\nlines");
  EXPECT_EQ(g[0].commandLines, ReadCommandLines(s, 0));
  EXPECT_EQ(g[0].paramLabels, (UserCommand::Texts{"first\nsecond"}));
  EXPECT_TRUE(g[1].description.empty() && g[1].commandLines.empty());
  EXPECT_TRUE(CommandsOfGroup(s, "H").empty());
}

TEST(CommandList, PlaceholdersEnableTheirRowsOnly) {
  // "%12" is "%1" followed by 2; "%0", "%%" and a lone "%" stand for nothing.
  for (int n = 1; n <= kArgumentCount; ++n) {
    EXPECT_EQ(UsesArgument({"A %2", "B x %5"}, n), n == 2 || n == 5) << n;
    EXPECT_EQ(UsesArgument({"P %12 %0 %% 50%"}, n), n == 1) << n;
  }
}

TEST(CommandList, SubstitutionReplacesInOrderWithoutRescanningWithinAStep) {
  const struct {
    std::string line;
    Arguments args;
    std::string sent;
  } rows[] = {
      {"NOTE %1 %2 %1", Args({"a", "b"}), "SITE NOTE a b a"},
      {"SHOW %1", Args({"%2", "z"}), "SITE SHOW z"},   // later steps see earlier insertions
      {"SHOW %2", Args({"a", "%1"}), "SITE SHOW %1"},  // earlier steps are over
      {"X %1", Args({"%1%1"}), "SITE X %1%1"},         // a step never rescans its own text
      {"NOTE %1 %2", Args({"a"}), "SITE NOTE a "},
      {"P %12", Args({"a"}), "SITE P a2"},
      {"P %0 %% %%1 50%", Args({"a"}), "SITE P %0 %% %a 50%"},
      {"%9%8%7%6%5%4%3%2%1", Args({"1", "2", "3", "4", "5", "6", "7", "8", "9"}), "SITE 987654321"},
      {"", Args({"a"}), "SITE "},
  };
  for (const auto& r : rows) EXPECT_EQ(BuildSiteLine(r.line, r.args), r.sent) << r.line;
}

TEST(CommandList, SubstitutionStopsAtTheSizeLimit) {
  EXPECT_EQ(ReplaceEach("%1%1", "%1", "abc", 6), "abcabc");
  EXPECT_EQ(ReplaceEach("%1%1", "%1", "abc", 5), std::nullopt);
  EXPECT_EQ(ReplaceEach("long text", "%1", "", 4), std::nullopt);
  EXPECT_EQ(ReplaceEach("no placeholder", "%1", std::string(100, 'x'), 14), "no placeholder");

  // Each argument naming the next placeholder many times would grow the
  // line beyond any memory; the line is refused instead.
  Arguments chain;
  for (int n = 1; n < kArgumentCount; ++n) {
    chain[n - 1].clear();
    for (int k = 0; k < 5000; ++k) chain[n - 1] += Placeholder(n + 1);
  }
  chain[8] = "x";
  EXPECT_EQ(BuildSiteLine("GO %1", chain), std::nullopt);
  chain[0] = "short";
  EXPECT_EQ(BuildSiteLine("GO %1", chain), "SITE GO short");
}

TEST(CommandList, ACommandIsBuiltWholeOrNotAtAll) {
  const std::vector<std::string> lines = {"MSG %1 hello", "KICK %1", "NOTE %2"};
  const BuiltCommand ok = BuildCommand(lines, Args({"bob", "x"}));
  EXPECT_EQ(ok.problem, BuildProblem::None);
  EXPECT_EQ(ok.siteLines, (std::vector<std::string>{"SITE MSG bob hello", "SITE KICK bob", "SITE NOTE x"}));

  UserCommand command{"warn and kick", lines, {}};
  for (const std::string& bad : {"bob\nDELE x"s, "bob\r"s, "bob\0x"s}) {
    const Arguments args = Args({"ok", bad});
    const BuiltCommand built = BuildCommand(lines, args);
    EXPECT_EQ(built.problem, BuildProblem::LineBreak);
    EXPECT_EQ(built.faultyLine, 2u);
    EXPECT_TRUE(built.siteLines.empty()) << "not even the lines before it";
    EXPECT_NE(NotSentMessage(command, args, built).find("argument 2 holds a line break"), std::string::npos);
  }
  // An argument the lines never use can't break them; a CR in the file's own line does.
  EXPECT_EQ(BuildCommand({"KICK %1"}, Args({"bob", "x\ny"})).problem, BuildProblem::None);
  command.commandLines = {"ONE", "TWO\rDELE x"};
  const BuiltCommand split = BuildCommand(command.commandLines, {});
  EXPECT_EQ(split.problem, BuildProblem::LineBreak);
  EXPECT_EQ(split.faultyLine, 1u);
  EXPECT_NE(NotSentMessage(command, {}, split).find("its line 2 holds a line break"), std::string::npos);

  const BuiltCommand tooLong = BuildCommand({"A", "B %1%1"}, Args({std::string(600 * 1024, 'x')}));
  EXPECT_EQ(tooLong.problem, BuildProblem::TooLong);
  EXPECT_EQ(tooLong.faultyLine, 1u);
  command.commandLines = {"A", "B %1%1"};
  EXPECT_NE(NotSentMessage(command, {}, tooLong).find("its line 2 would be longer than 1048576 bytes"),
            std::string::npos);
}

// The sample file beside the program: groups as intended, every command
// described, and every used argument labelled (and no label for an unused one).
TEST(CommandList, SampleFileIsComplete) {
  IniStorage s;
  IniFile().Read(KORVASTEL_EXAMPLE_COMMAND_LIST, &s, IniFile::ReplaceKeys);
  ASSERT_EQ(GroupList(s), (std::vector<std::string>{"Credits", "Groups", "Nukes", "Site", "Stats", "Users"}));
  int multiLine = 0, withComma = 0;
  for (int i = 0; i < s.GetBlockCount(); ++i) {
    const std::string name = s.GetBlockNames()[i];
    const std::vector<std::string> lines = ReadCommandLines(s, i);
    EXPECT_FALSE(ReadCommandValue(s, i, "cmdDsc").empty()) << name;
    ASSERT_FALSE(lines.empty()) << name;
    for (int n = 1; n <= kArgumentCount; ++n)
      EXPECT_EQ(UsesArgument(lines, n), !ReadCommandValue(s, i, "param" + std::to_string(n)).empty())
          << name << " argument " << n;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.find("SITE"), std::string::npos) << name << ": the prefix is added when sending";
      withComma += line.find(',') != std::string::npos;
    }
    multiLine += lines.size() > 1;
  }
  EXPECT_GE(multiLine, 3);
  EXPECT_GE(withComma, 2);
}

TEST(CommandListLocation, WorkingFolderFirstThenThePerUserFolder) {
  namespace fs = std::filesystem;
  const TempDir root("korvastel-start-");
  const fs::path cwd = root / "work", xdg = root / "xdg", home = root / "home";
  for (const fs::path& p : {cwd, xdg / "korvastel", home / ".config" / "korvastel"}) fs::create_directories(p);
  const ScopedCwd inCwd(cwd);

  // Nothing anywhere: the plain name, so the missing-file message is unchanged.
  EXPECT_EQ(CommandListPath(xdg.c_str(), home.c_str()), "commandList.ini");
  std::ofstream(home / ".config" / "korvastel" / "commandList.ini") << "[a]\n";
  EXPECT_EQ(CommandListPath(nullptr, home.c_str()), (home / ".config/korvastel/commandList.ini").string());
  EXPECT_EQ(CommandListPath("", home.c_str()), (home / ".config/korvastel/commandList.ini").string());
  EXPECT_EQ(CommandListPath("relative/dir", home.c_str()), (home / ".config/korvastel/commandList.ini").string());
  EXPECT_EQ(CommandListPath(xdg.c_str(), home.c_str()), "commandList.ini") << "XDG_CONFIG_HOME wins over HOME";
  std::ofstream(xdg / "korvastel" / "commandList.ini") << "[a]\n";
  EXPECT_EQ(CommandListPath(xdg.c_str(), home.c_str()), (xdg / "korvastel/commandList.ini").string());
  EXPECT_EQ(CommandListPath(nullptr, nullptr), "commandList.ini");

  // A file of this user's that no one else may change is taken, readable or not (then its error is shown).
  const fs::path here = cwd / "commandList.ini", ours = xdg / "korvastel/commandList.ini";
  std::ofstream(here) << "[a]\n";
  fs::permissions(here, fs::perms::owner_write);
  EXPECT_EQ(CommandListPath(xdg.c_str(), home.c_str()), "commandList.ini");

  // Any other is passed over for the per-user list, and the note says which, why and what instead.
  const auto skipped = [&](const std::string& why) {
    const CommandListChoice choice = ChooseCommandList(xdg.c_str(), home.c_str());
    EXPECT_EQ(choice.path, ours.string()) << why;
    EXPECT_EQ(choice.skipped, "Not read: " + here.string() + " " + why + "; read " + ours.string() + " instead.");
  };
  fs::permissions(here, fs::perms::owner_all | fs::perms::others_write);
  skipped("is writable by others (its group or all users)");
  fs::permissions(here, fs::perms::owner_read | fs::perms::group_write);
  skipped("is writable by others (its group or all users)");
  fs::permissions(here, fs::perms::owner_read);
  fs::permissions(cwd, fs::perms::all);
  skipped("is in a folder where others may replace it");
  fs::permissions(cwd, fs::perms::all | fs::perms::sticky_bit);  // as /tmp: only the owner may remove it
  EXPECT_EQ(CommandListPath(xdg.c_str(), home.c_str()), "commandList.ini");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(here.c_str(), 65534, 65534), 0);
    skipped("belongs to another user (uid 65534)");
  }
  fs::remove(here);
  fs::create_symlink(ours, here);  // even to the user's own list: what a link points at can change under us
  skipped("is a symbolic link, which is not followed");
  fs::remove(here);
  fs::create_directory(here);
  skipped("is not a regular file");
  fs::remove(ours);
  EXPECT_EQ(ChooseCommandList(xdg.c_str(), home.c_str()).skipped,
            "Not read: " + here.string() + " is not a regular file; no user commands, since " + ours.string() +
                " is missing too.");

}

TEST(CommandListLocation, LoadCarriesWhatWasReadOrWhyNot) {
  const std::string path = std::filesystem::temp_directory_path() / ("load-" + std::to_string(::getpid()) + ".ini");
  std::ofstream(path) << "[k]\ngroup = Users\ncmdDsc = Kick\ncmd = KICK %1\n";
  const LoadedCommandList read = LoadCommandList(path);
  EXPECT_TRUE(read.error.empty() && read.skipped.empty() && !read.missing) << read.error;
  EXPECT_EQ(read.path, path);
  EXPECT_EQ(CommandsOfGroup(read.storage, "users").size(), 1u);
  std::filesystem::remove(path);

  const LoadedCommandList missing = LoadCommandList(path);
  EXPECT_TRUE(missing.missing);
  EXPECT_EQ(missing.error, "[Runtime Error] Could not open file: " + path);
  EXPECT_EQ(missing.storage.GetBlockCount(), 0);
}

}  // namespace
