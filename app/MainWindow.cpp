#include "MainWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "CertificateQuestion.h"
#include "MessageBox.h"
#include "ProgramSessions.h"
#include "RunOnSites.h"
#include "SiteCmdDlg.h"
#include "SiteManager.h"
#include "Text.h"

namespace {

QPushButton* StripButton(const char* caption, const char* name, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setAccessibleName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

}  // namespace

MainWindow::MainWindow() : m_sessions(std::make_unique<ProgramSessions>(static_cast<TrustAsker*>(this))) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  auto* column = new QVBoxLayout(this);
  m_column = column;
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  m_pages = new QStackedWidget(this);
  column->addWidget(m_pages, 1);  // the dialogs take what the window has beyond its smallest size

  // Below the dialog, where it has no control of its own.
  auto* strip = new QHBoxLayout;
  strip->setContentsMargins(10, 0, 10, 6);
  strip->setSpacing(6);
  QPushButton* siteManager = StripButton("Site Manager\u2026", "Site Manager", this);
  QPushButton* newTab = StripButton("New Tab", "New Tab", this);
  QPushButton* runOnSites = StripButton("Run on Sites\u2026", "Run on Sites", this);
  strip->addWidget(siteManager);
  strip->addWidget(newTab);
  strip->addWidget(runOnSites);
  strip->addStretch(1);
  column->addLayout(strip);

  connect(siteManager, &QPushButton::clicked, this, [this] { OpenSiteManager(); });
  connect(newTab, &QPushButton::clicked, this, [this] { NewTab(); });
  connect(runOnSites, &QPushButton::clicked, this, [this] { OpenRunOnSites(); });

  const auto shortcut = [this](QKeySequence keys, std::function<void()> run) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, std::move(run));
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_M), [this] { OpenSiteManager(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_T), [this] { NewTab(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_R), [this] { OpenRunOnSites(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_W), [this] {
    if (TabCount() > 0) CloseTab(Tab(CurrentIndex()));
  });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { Cycle(1); });
  shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { Cycle(-1); });
  shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { Cycle(-1); });
}

MainWindow::~MainWindow() {
  // Each session goes at once; the dialogs before the widgets they live in.
  // Hidden first, so no focus wanders from a tab being torn down into the next.
  hide();
  m_siteManager.reset();
  m_runOnSites.reset();
  m_tabBar.reset();
  while (!m_tabs.empty()) m_tabs.pop_back();
}

CSiteCmdDlg& MainWindow::NewTab(const std::function<void(CSiteCmdDlg&)>& prepare) { return AddTab(prepare, false); }

SessionOwner& MainWindow::Sessions() { return m_sessions->Owner(); }

bool MainWindow::AskTrust(const std::string& host, unsigned port, const TlsInfo& info, const std::string& remembered) {
  return AskToTrustCertificate(
      [this](const std::string& text, const std::string& caption, unsigned type) {
        return platform::ShowMessageBox(static_cast<QWidget*>(this), {text, caption, type});
      },
      host, port, info, remembered);
}

CSiteCmdDlg& MainWindow::AddTab(const std::function<void(CSiteCmdDlg&)>& prepare, bool background,
                                SessionId session) {
  auto owned = std::make_unique<CSiteCmdDlg>(&Sessions(), session);
  CSiteCmdDlg& tab = *owned;
  tab.m_quietCommandList = !m_tabs.empty();  // one box about it is enough
  if (prepare) prepare(tab);
  tab.EmbedIn(m_pages);
  QWidget* page = &tab;
  m_pages->addWidget(page);
  m_tabs.push_back(std::move(owned));
  const int index = TabCount() - 1;
  tab.SetEndHandler([this, &tab] { RemoveTab(tab); });
  tab.onStateChanged = [this] { UpdateTitles(); };
  connect(page, &QWidget::windowTitleChanged, this, [this, page](const QString& title) {
    if (m_pages->currentWidget() == page) setWindowTitle(title);
  });
  if (!background || TabCount() == 1) m_pages->setCurrentWidget(page);
  UpdateTabBar();
  if (index == CurrentIndex()) ShowPage(index);
  if (!isVisible()) ShowCentred();
  tab.Start();
  if (TabCount() == 1) setWindowTitle(page->windowTitle());
  UpdateTitles();
  return tab;
}

void MainWindow::ShowCentred() {
  adjustSize();
  show();
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  // Active from the start, so the field given the focus shows its caret from the first key.
  activateWindow();
}

void MainWindow::CloseTab(CSiteCmdDlg& tab) {
  // The dialog's own close: the session goes at once, then the end handler removes the page.
  tab.RequestClose();
}

void MainWindow::RemoveTab(CSiteCmdDlg& tab) {
  const int index = IndexOf(tab);
  if (index < 0) return;
  std::unique_ptr<CSiteCmdDlg> gone = std::move(m_tabs[static_cast<std::size_t>(index)]);
  m_tabs.erase(m_tabs.begin() + index);
  // The page in its place, or the last one, comes to the front.
  m_pages->removeWidget(gone.get());
  if (m_tabBar) m_tabBar->removeTab(index);
  gone.reset();
  UpdateTabBar();
  UpdateTitles();
  if (m_tabs.empty()) {
    hide();
    if (onAllClosed) onAllClosed();
  } else if (QWidget* page = m_pages->currentWidget()) {
    setWindowTitle(page->windowTitle());
  }
}

int MainWindow::IndexOf(const CSiteCmdDlg& tab) const {
  for (std::size_t i = 0; i < m_tabs.size(); ++i)
    if (m_tabs[i].get() == &tab) return static_cast<int>(i);
  return -1;
}

int MainWindow::CurrentIndex() const { return m_pages->currentIndex(); }

void MainWindow::SetCurrent(int index) {
  if (index >= 0 && index < TabCount()) ShowPage(index);
}

void MainWindow::ShowPage(int index) {
  m_pages->setCurrentIndex(index);
  if (m_tabBar && m_tabBar->currentIndex() != index) m_tabBar->setCurrentIndex(index);
  setWindowTitle(m_pages->currentWidget()->windowTitle());
}

void MainWindow::UpdateTabBar() {
  if (TabCount() < 2) {
    m_tabBar.reset();
    return;
  }
  if (!m_tabBar) {
    m_tabBar = std::make_unique<QTabBar>(this);
    m_tabBar->setAccessibleName(QStringLiteral("Tabs"));
    m_tabBar->setTabsClosable(true);
    m_tabBar->setExpanding(false);
    m_tabBar->setDocumentMode(true);
    m_tabBar->setFocusPolicy(Qt::NoFocus);  // Ctrl+Tab switches; Tab keeps walking the dialog's fields
    m_column->insertWidget(0, m_tabBar.get());
    connect(m_tabBar.get(), &QTabBar::currentChanged, this, [this](int index) {
      if (index >= 0 && index < TabCount() && index != CurrentIndex()) ShowPage(index);
    });
    connect(m_tabBar.get(), &QTabBar::tabCloseRequested, this, [this](int index) {
      if (index >= 0 && index < TabCount()) CloseTab(Tab(index));
    });
  }
  {
    const QSignalBlocker quiet(m_tabBar.get());
    while (m_tabBar->count() < TabCount()) m_tabBar->addTab(QString());
    m_tabBar->setCurrentIndex(CurrentIndex());
  }
  m_tabBar->show();
  UpdateTitles();
}

void MainWindow::Cycle(int step) {
  if (TabCount() < 2) return;
  SetCurrent((CurrentIndex() + step + TabCount()) % TabCount());
}

void MainWindow::UpdateTitles() {
  if (!m_tabBar) return;
  for (int i = 0; i < TabCount() && i < m_tabBar->count(); ++i) {
    std::string title = Tab(i).TabTitle();
    if (title.empty()) title = "New Tab";
    const QString text = platform::FromCp1252(title);
    if (m_tabBar->tabText(i) != text) m_tabBar->setTabText(i, text);
  }
}

void MainWindow::OpenSiteManager() {
  // Each opening reads the list afresh: the runner or another window may have changed it.
  if (m_siteManager && m_siteManager->isVisible()) {
    m_siteManager->raise();
    m_siteManager->activateWindow();
    return;
  }
  m_siteManager = std::make_unique<SiteManagerDlg>(*this, this);
  m_siteManager->show();
  m_siteManager->activateWindow();
}
void MainWindow::OpenRunOnSites() {
  if (!m_runOnSites)
    m_runOnSites = std::make_unique<RunOnSitesDlg>(*this, this);
  else if (!m_runOnSites->isVisible())
    m_runOnSites->ReloadSites();
  m_runOnSites->show();
  m_runOnSites->raise();
  m_runOnSites->activateWindow();
}

CSiteCmdDlg* MainWindow::FindSiteTab(const std::string& name) {
  // A tab that is ending has no session left: its page goes at the next turn of the loop.
  for (auto& tab : m_tabs)
    if (const Site* site = tab->SavedSite(); site && site->name == name && !tab->IsEnded() && tab->GetSession())
      return tab.get();
  return nullptr;
}

CSiteCmdDlg& MainWindow::OpenSiteTab(const Site& site, bool background) {
  // The fields show the site before the tab starts; connecting is the caller's.
  return AddTab([&site](CSiteCmdDlg& tab) { tab.ShowSite(site); }, background);
}

void MainWindow::ShowSession(SessionId session, long line) {
  for (auto& tab : m_tabs)
    if (!tab->IsEnded() && tab->GetSessionId() == session) return ShowTab(*tab, line);
  if (!Sessions().Find(session)) return;
  // The fields show the saved site the session is for, when there is one.
  std::optional<Site> site;
  if (const std::string& name = Sessions().SiteOf(session); !name.empty()) {
    SiteList list;
    std::string error;
    if (list.Read(SiteListPath(), error))
      for (const Site& s : list.Sites())
        if (s.name == name) site = s;
  }
  CSiteCmdDlg& tab = AddTab([&site](CSiteCmdDlg& t) { if (site) t.ShowSite(*site); }, false, session);
  ShowTab(tab, line);
}

void MainWindow::ShowTab(CSiteCmdDlg& tab, long line) {
  const int index = IndexOf(tab);
  if (index < 0 || tab.IsEnded()) return;
  SetCurrent(index);
  if (line >= 0) tab.m_transcript.LineScroll(static_cast<int>(line) - tab.m_transcript.GetFirstVisibleLine());
}

std::string MainWindow::SiteListPath() const { return SiteList::DefaultPath(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  // Every tab closes as its own window would: its connection goes at once.
  event->ignore();
  for (auto& tab : std::vector<CSiteCmdDlg*>([this] {
         std::vector<CSiteCmdDlg*> all;
         for (auto& t : m_tabs) all.push_back(t.get());
         return all;
       }()))
    tab->RequestClose();
}
