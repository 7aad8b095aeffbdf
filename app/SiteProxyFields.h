// The Site Manager's "Proxy" and "Proxy password" fields: the proxy's
// address is part of the site, its password lives where the site's own
// does (the keyring when the site remembers its password, else this run's
// memory), never in the site list.
#pragma once

#include <QPointer>
#include <string>

#include "SiteList.h"

class QFormLayout;
class QLineEdit;
class QWidget;
class SessionOwner;

class SiteProxyFields {
 public:
  // Adds the two rows to form; box shows a refusal the way the dialog does.
  SiteProxyFields(QWidget* dialog, QFormLayout& form, SessionOwner& sessions);

  // Shows the site's proxy and the password typed for it this run; with
  // readKeyring the keyring's fills the field when it is still empty.
  void Show(const Site& site, bool kept, bool enabled, bool readKeyring);
  // Takes the proxy into site; false, with why set and the field focused, when it can't be used.
  bool Take(Site& site, std::string& why);
  // After the site was kept: the typed password into memory, and into the
  // keyring (moved or removed there) as the site's remember box says.
  void Keep(const Site* before, const Site& after, bool keyringUsable);
  // The site went: its proxy's password goes too.
  void Forget(const Site& site, bool keyringUsable);
  // What the field holds (typed, or filled from the keyring).
  std::string Password() const;

 private:
  QPointer<QWidget> m_dialog;
  SessionOwner& m_sessions;
  QLineEdit* m_proxy = nullptr;
  QLineEdit* m_password = nullptr;
  std::string m_readPassword;  // what the keyring gave for the shown site
  unsigned m_readTicket = 0;   // a read answered after the user moved on is dropped
};
