// Explicit FTPS in the window: the tab asks about the certificates of the
// session it shows.
#include "CertificateQuestion.h"
#include "SiteCmdDlg.h"

bool CSiteCmdDlg::AskTrust(const std::string& host, unsigned port, const TlsInfo& info,
                           const std::string& remembered) {
  return AskToTrustCertificate(
      [this](const std::string& text, const std::string& caption, unsigned type) {
        return Box(text, caption, type);
      },
      host, port, info, remembered);
}
