#include "CertificateQuestion.h"

#include "MessageBox.h"

namespace {

std::string Describe(const std::string& host, unsigned port, const TlsInfo& info) {
  return "Server: " + host + ":" + std::to_string(port) + "\nSubject: " + info.subject + "\nIssuer: " + info.issuer +
         "\nValid from: " + info.validFrom + "\nValid until: " + info.validUntil +
         "\nNot trusted because: " + info.reason + "\n\n";
}

}  // namespace

bool AskToTrustCertificate(const std::function<int(const std::string&, const std::string&, unsigned)>& show,
                           const std::string& host, unsigned port, const TlsInfo& info,
                           const std::string& remembered) {
  int answer = platform::kAnswerNo;
  if (remembered.empty()) {
    answer = show("The server's certificate could not be verified.\n\n" + Describe(host, port, info) +
                      "SHA-256 fingerprint:\n" + info.fingerprint +
                      "\n\nCompare the fingerprint with the one your server's administrator gave you.\n"
                      "Trust this certificate for " +
                      host + ":" + std::to_string(port) + " and connect?",
                  "Unknown certificate", platform::kBoxYesNo | platform::kBoxWarning | platform::kBoxNoByDefault);
  } else {
    answer = show(
        "WARNING: the server's certificate has changed since you trusted it.\n\n"
        "This happens when a server gets a new certificate, but also when someone is\n"
        "listening in between. Ask the server's administrator before you go on.\n\n" +
            Describe(host, port, info) + "Remembered SHA-256 fingerprint:\n" + remembered +
            "\n\nNew SHA-256 fingerprint:\n" + info.fingerprint + "\n\nTrust the new certificate instead and connect?",
        "Certificate changed!", platform::kBoxYesNo | platform::kBoxWarning | platform::kBoxNoByDefault);
  }
  return answer == platform::kAnswerYes;
}
