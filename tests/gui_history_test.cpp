// The connection history in the real dialog, offscreen: what an attempt
// records, what a later run lists, and what choosing an entry fills in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "DialogHarness.h"
#include "UserStore.h"
#include "res/Strings.h"
#include "res/resource.h"

namespace {

void Attempt(DialogHarness& h, const std::string& login, const std::string& host, unsigned port,
             const std::string& password = "pw") {
  h.Fill(std::to_string(port), login, password, host);
  h.Click(IDC_CONNECT);
}

std::vector<std::string> Stored() { return platform::UserStore().Load(); }

std::filesystem::path StorePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  return std::filesystem::path(config ? config : "") / "Dunvarrow" / "korvastel.conf";
}

TEST(History, OddCharactersRoundTripThroughTheStore) {
  const std::string login = "we/b\\master@x:y";
  const std::string host = "h\xE4st.invalid";  // does not resolve
  const std::string entry = login + "@" + host + ":2121";
  const std::string longEntry = std::string(300, 'l') + "@" + host + ":21";
  const std::string secret = "OpenSesame42";
  {
    DialogHarness h("");
    Attempt(h, login, host, 2121, secret);
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].text, "Invalid host address. ");
    EXPECT_EQ(h.Dlg().m_historyList->Entry(h.Dlg().m_historyList->currentIndex()), entry);
    Attempt(h, std::string(300, 'l'), host, 21, secret);
    EXPECT_EQ(h.Dlg().m_historyList->Entry(h.Dlg().m_historyList->currentIndex()), longEntry);
  }
  const std::string file = ReadFile(StorePath());
  EXPECT_FALSE(file.empty());
  EXPECT_EQ(file.find(secret), std::string::npos);  // its modes are TheStoreIsPrivateFromItsFirstByte's

  DialogHarness h("");  // a later run, the same store
  EXPECT_GE(IndexOf(h.Dlg().m_historyList, longEntry), 0);
  const int index = IndexOf(h.Dlg().m_historyList, entry);
  ASSERT_GE(index, 0);
  h.Focus(IDC_PASSWORD);
  h.Type(IDC_PASSWORD, "typed before");
  h.Type(IDC_PORT, "21");
  h.SelectComboItem(IDC_HISTORY, index);
  EXPECT_EQ(h.Text(IDC_LOGIN), login);
  EXPECT_EQ(h.Text(IDC_HOST), host);
  EXPECT_EQ(h.Text(IDC_PORT), "2121");
  EXPECT_EQ(h.Text(IDC_PASSWORD), "");
  EXPECT_EQ(h.Dlg().m_form.login, login);
  EXPECT_EQ(h.Dlg().m_form.host, host);
  EXPECT_EQ(h.Dlg().m_form.port, 2121u);
  EXPECT_EQ(h.Dlg().m_form.password, "");
}

TEST(History, TheStoreIsPrivateFromItsFirstByte) {
  namespace fs = std::filesystem;
  const fs::path folder = StorePath().parent_path();
  const mode_t old = ::umask(022);
  auto modes = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  auto write = [](const std::string& entry) {
    std::string error;
    return platform::UserStore().Save(entry, error);
  };
  // Made afresh: the folder is private before the file is in it.
  fs::remove_all(folder);
  ASSERT_TRUE(write("first@h:21"));
  EXPECT_EQ(modes(folder), fs::perms::owner_all);
  EXPECT_EQ(modes(StorePath()), fs::perms::owner_read | fs::perms::owner_write);
  // Found readable by others: narrowed, nothing lost.
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  fs::permissions(StorePath(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                   fs::perms::others_read);
  ASSERT_TRUE(write("second@h:21"));
  EXPECT_EQ(modes(folder), fs::perms::owner_all);
  EXPECT_EQ(modes(StorePath()), fs::perms::owner_read | fs::perms::owner_write);
  const std::vector<std::string> names = Stored();
  EXPECT_NE(std::find(names.begin(), names.end(), "first@h:21"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "second@h:21"), names.end());
  ::umask(old);
}

}  // namespace
