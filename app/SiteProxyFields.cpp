#include "SiteProxyFields.h"

#include <QFormLayout>
#include <QLineEdit>

#include "Address.h"
#include "Keyring.h"
#include "MessageBox.h"
#include "SessionOwner.h"
#include "Text.h"

using platform::FromCp1252;
using platform::KeyringAnswer;
using platform::ToCp1252;

namespace {

// Keyring errors after the dialog has gone are no one's to show.
void Report(const QPointer<QWidget>& dialog, const std::string& what, const KeyringAnswer& answer) {
  if (dialog && answer.status != KeyringAnswer::Status::Done && answer.status != KeyringAnswer::Status::NotFound)
    platform::ShowMessageBox(dialog.data(), {what + answer.error, "Site Manager", platform::kBoxWarning});
}

}  // namespace

SiteProxyFields::SiteProxyFields(QWidget* dialog, QFormLayout& form, SessionOwner& sessions)
    : m_dialog(dialog), m_sessions(sessions) {
  m_proxy = new QLineEdit(dialog);
  m_proxy->setAccessibleName(QStringLiteral("Proxy"));
  m_proxy->setPlaceholderText(QStringLiteral("socks5://[USER@]HOST:PORT, empty for a direct connection"));
  m_password = new QLineEdit(dialog);
  m_password->setAccessibleName(QStringLiteral("Proxy password"));
  m_password->setEchoMode(QLineEdit::Password);
  form.addRow(QStringLiteral("Proxy:"), m_proxy);
  form.addRow(QStringLiteral("Proxy password:"), m_password);
}

void SiteProxyFields::Show(const Site& site, bool kept, bool enabled, bool readKeyring) {
  ++m_readTicket;
  m_readPassword.clear();
  m_proxy->setText(FromCp1252(site.proxy));
  m_password->setText(
      kept ? FromCp1252(m_sessions.ProxyPasswords().Get(site.name).value_or(std::string())) : QString());
  m_proxy->setEnabled(enabled);
  m_password->setEnabled(enabled);
  const std::string user = site.ProxyUser();
  if (!readKeyring || !site.rememberPassword || user.empty()) return;
  QPointer<QLineEdit> field(m_password);
  platform::ReadProxyPassword(site.name, user, [this, field, ticket = m_readTicket](const KeyringAnswer& answer) {
    if (!field || ticket != m_readTicket || answer.status != KeyringAnswer::Status::Done) return;
    m_readPassword = answer.password;
    if (field->text().isEmpty()) field->setText(FromCp1252(answer.password));  // what was typed meanwhile wins
  });
}

bool SiteProxyFields::Take(Site& site, std::string& why) {
  site.proxy = ToCp1252(m_proxy->text().trimmed());
  const std::size_t length = ToCp1252(m_password->text()).size();
  bool heldPassword = false;
  if (!site.proxy.empty() && !ParseProxy(site.proxy, why, &heldPassword)) {
    if (heldPassword)
      why = "The proxy address holds a password; the site list never keeps one. Write the address as "
            "socks5://[USER@]HOST:PORT and the password in the Proxy password field.";
    m_proxy->setFocus();
    return false;
  }
  if (length > kSocks5MaxField) {
    why = "The proxy password holds more than 255 bytes, more than a SOCKS5 login can carry.";
    m_password->setFocus();
    return false;
  }
  return true;
}

std::string SiteProxyFields::Password() const { return ToCp1252(m_password->text()); }

void SiteProxyFields::Keep(const Site* before, const Site& after, bool keyringUsable) {
  const std::string typed = Password(), user = after.ProxyUser();
  // What is typed is kept for this run; what the keyring filled in is its own.
  if (typed.empty() || typed != m_readPassword || user.empty())
    m_sessions.ProxyPasswords().Set(after.name, user.empty() ? std::string() : typed);
  if (!keyringUsable) return;
  const QPointer<QWidget> dialog = m_dialog;
  const auto write = [dialog](const std::string& site, const std::string& proxyUser, const std::string& password) {
    platform::WriteProxyPassword(site, proxyUser, password, [dialog](const KeyringAnswer& answer) {
      Report(dialog, "The proxy password could not be kept in the system keyring: ", answer);
    });
  };
  const auto forget = [dialog](const std::string& site, const std::string& proxyUser) {
    platform::DeleteProxyPassword(site, proxyUser, [dialog](const KeyringAnswer& answer) {
      Report(dialog, "The old proxy password could not be removed from the system keyring: ", answer);
    });
  };
  const std::string oldUser = before ? before->ProxyUser() : std::string();
  const bool wasKept = before && before->rememberPassword && !oldUser.empty();
  const bool keep = after.rememberPassword && !user.empty();
  const bool moved = wasKept && (before->name != after.name || oldUser != user);
  if (keep && !typed.empty()) {
    if (moved || !wasKept || typed != m_readPassword) write(after.name, user, typed);
    m_readPassword = typed;
    if (moved) forget(before->name, oldUser);
  } else if (keep && moved) {
    // Nothing typed (the read failed or hasn't come): the entry moves as the keyring holds it.
    platform::ReadProxyPassword(before->name, oldUser,
                                [write, forget, from = before->name, oldUser, to = after.name,
                                 user](const KeyringAnswer& answer) {
                                  if (answer.status != KeyringAnswer::Status::Done) return;
                                  write(to, user, answer.password);
                                  forget(from, oldUser);
                                });
  } else if (wasKept && !keep) {
    forget(before->name, oldUser);
  }
}

void SiteProxyFields::Forget(const Site& site, bool keyringUsable) {
  m_sessions.ProxyPasswords().Forget(site.name);
  const std::string user = site.ProxyUser();
  if (!keyringUsable || !site.rememberPassword || user.empty()) return;
  const QPointer<QWidget> dialog = m_dialog;
  platform::DeleteProxyPassword(site.name, user, [dialog](const KeyringAnswer& answer) {
    Report(dialog, "The proxy password could not be removed from the system keyring: ", answer);
  });
}
