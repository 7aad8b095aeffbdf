#include "TlsTransport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

namespace {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};
using CtxPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;

int CollectReason(int ok, X509_STORE_CTX* store);  // the verify callback, below the connection's state

// "[::1]" and "::1" are addresses; anything else that is no IPv4 or IPv6
// literal is a name.
bool IsAddress(const std::string& host, std::string& bare) {
  bare = host;
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  in_addr v4{};
  in6_addr v6{};
  return ::inet_pton(AF_INET, bare.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, bare.c_str(), &v6) == 1;
}

// "C=DE, O=Example, CN=ftp.example.org"; bytes beyond ASCII come escaped, so
// the text stays plain whatever the certificate holds.
std::string NameText(const X509_NAME* name) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || !name) return {};
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm when{};
  if (!time || ASN1_TIME_to_tm(time, &when) != 1) return "unknown";
  char buf[40];
  const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &when);
  return std::string(buf, n);
}

}  // namespace

namespace {

// As large as the line reader's reads; larger buffers measured no faster.
constexpr std::size_t kReadAhead = 64 * 1024;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Reading the system's trust store costs more than the handshake itself, so
// the set-up is made once and shared; it is made afresh when SSL_CERT_FILE or
// SSL_CERT_DIR point elsewhere.
CtxPtr ClientContext() {
  // The library first: its clean-up at exit then comes after this cache has gone.
  OPENSSL_init_ssl(0, nullptr);
  static std::mutex mutex;
  static CtxPtr shared;
  static std::string sharedFor;
  const std::string key = Env("SSL_CERT_FILE") + '\n' + Env("SSL_CERT_DIR");
  std::lock_guard<std::mutex> lock(mutex);
  if (!shared || key != sharedFor) {
    CtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    // TLS 1.2 only with forward secrecy and an AEAD cipher (ECDSA and RSA
    // certificates alike): no static-RSA key exchange, no CBC. The same three
    // TLS 1.3 suites as the library's default, AES-128 first (as browsers
    // order them): a long reply decrypts faster, at no loss that matters for
    // a control connection. No renegotiation: a server could otherwise change
    // its certificate after the user judged it. Each step must hold, or there
    // is no context.
    if (!ctx || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_cipher_list(ctx.get(), "ECDHE+AESGCM:ECDHE+CHACHA20") != 1 ||
        SSL_CTX_set_ciphersuites(ctx.get(),
                                 "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256") != 1)
      return nullptr;
    SSL_CTX_set_options(ctx.get(), SSL_OP_NO_RENEGOTIATION);
    // Without a readable trust store every chain is simply untrusted, and
    // the user is asked; that is no reason to fail here.
    (void)SSL_CTX_set_default_verify_paths(ctx.get());
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, CollectReason);
    shared = std::move(ctx);
    sharedFor = key;
  }
  SSL_CTX_up_ref(shared.get());
  return CtxPtr(shared.get());
}

}  // namespace

struct TlsTransport::Impl {
  CtxPtr ctx;
  SslPtr ssl;
  Transport* plain = nullptr;  // the owner's wrapped transport
  bool wait = true;            // whether a read may wait for the server
  long ioResult = 1;           // what the wrapped transport last said, when it was no data
  bool ready = false;
  std::vector<std::string> reasons;
  // The certificate of the first handshake, which the user judged.
  std::unique_ptr<X509, Deleter<X509_free>> judged;
};

namespace {

// A certificate that fails a check must not end the first handshake: the
// user is asked about it afterwards, and every reason on the way is kept for
// the box. Any later handshake (renegotiation is off; this holds should one
// ever happen) must show the very certificate that was judged, or it fails.
int CollectReason(int ok, X509_STORE_CTX* store) {
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* d = ssl ? static_cast<TlsTransport::Impl*>(SSL_get_app_data(ssl)) : nullptr;
  if (!d) return 0;
  if (d->judged) {
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (!leaf || X509_cmp(leaf, d->judged.get()) != 0) {
      X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
      return 0;
    }
    return 1;
  }
  if (ok) return 1;
  const std::string reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
  if (std::find(d->reasons.begin(), d->reasons.end(), reason) == d->reasons.end()) d->reasons.push_back(reason);
  return 1;
}

// The TLS engine reads and writes straight through the wrapped transport:
// no extra buffer, and every wait is the transport's own, with its hook.
int BioRead(BIO* bio, char* buf, int size) {
  auto* d = static_cast<TlsTransport::Impl*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (size <= 0) return 0;
  const long got = d->plain->Receive(buf, static_cast<std::size_t>(size), d->wait);
  if (got > 0) return static_cast<int>(got);
  if (got == Transport::kNothingYet) {
    BIO_set_retry_read(bio);
    return -1;
  }
  d->ioResult = got;
  return got == Transport::kClosed ? 0 : -1;
}

int BioWrite(BIO* bio, const char* data, int size) {
  auto* d = static_cast<TlsTransport::Impl*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (size <= 0) return 0;
  if (!d->plain->Send(std::string_view(data, static_cast<std::size_t>(size)))) {
    d->ioResult = Transport::kFailed;
    return -1;
  }
  return size;
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

const BIO_METHOD* TransportBio() {
  OPENSSL_init_ssl(0, nullptr);  // see ClientContext
  static const std::unique_ptr<BIO_METHOD, Deleter<BIO_meth_free>> method = [] {
    std::unique_ptr<BIO_METHOD, Deleter<BIO_meth_free>> m(
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "korvastel transport"));
    if (m && (BIO_meth_set_read(m.get(), BioRead) != 1 || BIO_meth_set_write(m.get(), BioWrite) != 1 ||
              BIO_meth_set_ctrl(m.get(), BioCtrl) != 1 || BIO_meth_set_create(m.get(), BioCreate) != 1))
      m.reset();
    return m;
  }();
  return method.get();
}

}  // namespace

TlsTransport::TlsTransport(std::unique_ptr<Transport> plain) : m_plain(std::move(plain)), d(std::make_unique<Impl>()) {}

TlsTransport::~TlsTransport() { Close(); }

void TlsTransport::FailWithLibraryError(const char* what) {
  std::string words;
  while (const unsigned long e = ERR_get_error()) {
    const char* reason = ERR_reason_error_string(e);
    const std::string text = reason ? reason : "error " + std::to_string(ERR_GET_REASON(e));
    if (words.find(text) == std::string::npos) words += (words.empty() ? "" : "; ") + text;
  }
  m_error = words.empty() ? std::string(what) : std::string(what) + ": " + words;
}

bool TlsTransport::FailWithIo(const char* what) {
  if (d->ioResult == kAbandoned || d->ioResult == kFailed) {
    m_error = m_plain->ErrorText();
    return true;
  }
  if (d->ioResult == kClosed) {
    m_error = std::string(what) + ": the server closed the connection";
    return true;
  }
  return false;
}

TlsTransport::Handshake TlsTransport::Start(const std::string& host) {
  m_info = TlsInfo{};
  d->reasons.clear();
  d->ready = false;
  if (!m_plain || m_plain->Descriptor() < 0) {
    m_error = "there is no connection";
    return Handshake::Failed;
  }
  ERR_clear_error();
  d->ctx = ClientContext();
  if (!d->ctx) {
    FailWithLibraryError("TLS could not be set up");
    return Handshake::Failed;
  }

  d->ssl.reset(SSL_new(d->ctx.get()));
  BioPtr bio(TransportBio() ? BIO_new(TransportBio()) : nullptr);
  if (!d->ssl || !bio) {
    FailWithLibraryError("TLS could not be set up");
    return Handshake::Failed;
  }
  d->plain = m_plain.get();
  BIO_set_data(bio.get(), d.get());
  // One BIO both ways: SSL_set_bio takes the one reference given and adds
  // the second itself.
  SSL_set_bio(d->ssl.get(), bio.get(), bio.get());
  (void)bio.release();
  // Read-ahead: one receive takes many records off the socket instead of two
  // receives per record (header, then body), which a long reply measured
  // slower. What it holds beyond the record being read is not in the socket
  // any more; HasPending() tells the idle watch.
  SSL_set_read_ahead(d->ssl.get(), 1);
  SSL_set_default_read_buffer_len(d->ssl.get(), kReadAhead);
  d->judged.reset();
  SSL_set_connect_state(d->ssl.get());

  // The name check must be in place, or a certificate for any name would
  // pass for this host's: a set-up call that fails ends the attempt.
  std::string bare;
  const bool identified =
      SSL_set_app_data(d->ssl.get(), d.get()) == 1 &&
      (IsAddress(host, bare) ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(d->ssl.get()), bare.c_str()) == 1
                             : SSL_set_tlsext_host_name(d->ssl.get(), host.c_str()) == 1 &&
                                   SSL_set1_host(d->ssl.get(), host.c_str()) == 1);
  if (!identified) {
    FailWithLibraryError(("TLS could not be set up to check the certificate for " + host).c_str());
    return Handshake::Failed;
  }

  d->wait = true;
  d->ioResult = 1;
  ERR_clear_error();
  if (SSL_do_handshake(d->ssl.get()) != 1) {
    if (d->ioResult == kAbandoned) {
      m_error = m_plain->ErrorText();
      return Handshake::Abandoned;
    }
    if (!FailWithIo("TLS handshake failed")) FailWithLibraryError("TLS handshake failed");
    return Handshake::Failed;
  }

  SSL* ssl = d->ssl.get();
  m_info.protocol = SSL_get_version(ssl);
  m_info.cipher = SSL_CIPHER_get_name(SSL_get_current_cipher(ssl));
  if (X509* cert = SSL_get0_peer_certificate(ssl)) {
    X509_up_ref(cert);
    d->judged.reset(cert);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (X509_digest(cert, EVP_sha256(), md, &len) == 1) m_info.fingerprint = FingerprintText(md, len);
    m_info.subject = NameText(X509_get_subject_name(cert));
    m_info.issuer = NameText(X509_get_issuer_name(cert));
    m_info.validFrom = TimeText(X509_get0_notBefore(cert));
    m_info.validUntil = TimeText(X509_get0_notAfter(cert));
  } else {
    d->reasons.push_back("the server sent no certificate");
  }
  const long verdict = SSL_get_verify_result(ssl);
  if (verdict != X509_V_OK && d->reasons.empty()) d->reasons.push_back(X509_verify_cert_error_string(verdict));
  m_info.trusted = d->reasons.empty();
  for (const std::string& r : d->reasons) m_info.reason += (m_info.reason.empty() ? "" : "; ") + r;
  d->ready = true;
  m_error.clear();
  return Handshake::Done;
}

bool TlsTransport::Send(std::string_view bytes) {
  if (!d->ready) {
    m_error = "there is no TLS session";
    return false;
  }
  std::size_t done = 0;
  // A write may have to read too (a handshake message from the server, or
  // the alert it answers one with): that read waits, whatever the idle
  // check's last read without waiting left behind.
  d->wait = true;
  d->ioResult = 1;
  while (done < bytes.size()) {
    ERR_clear_error();
    std::size_t written = 0;
    // The wrapped transport waits until each record is out.
    if (SSL_write_ex(d->ssl.get(), bytes.data() + done, bytes.size() - done, &written) == 1) {
      done += written;
      continue;
    }
    const int why = SSL_get_error(d->ssl.get(), 0);
    if ((why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) && d->ioResult == 1) continue;
    if (!FailWithIo("TLS write failed")) FailWithLibraryError("TLS write failed");
    return false;
  }
  return true;
}

long TlsTransport::Receive(char* buf, std::size_t size, bool wait) {
  if (!d->ready) {
    m_error = "there is no TLS session";
    return kFailed;
  }
  if (size == 0) {
    m_error = "nothing to read into";
    return kFailed;
  }
  d->wait = wait;
  d->ioResult = 1;
  ERR_clear_error();
  std::size_t got = 0;
  if (SSL_read_ex(d->ssl.get(), buf, size, &got) == 1) return static_cast<long>(got);
  switch (SSL_get_error(d->ssl.get(), 0)) {
    case SSL_ERROR_ZERO_RETURN:  // close_notify
      return kClosed;
    case SSL_ERROR_WANT_READ:
      // Only without wait: nothing, or only a protocol message such as a
      // session ticket, has arrived.
      return kNothingYet;
    default:
      // FTP servers hang up without a close_notify; that reads as a close.
      if (d->ioResult == kClosed || d->ioResult == kAbandoned) return d->ioResult;
      if (!FailWithIo("TLS read failed")) FailWithLibraryError("TLS read failed");
      return kFailed;
  }
}

bool TlsTransport::HasPending() const { return d->ready && SSL_has_pending(d->ssl.get()) == 1; }

int TlsTransport::Descriptor() const { return m_plain ? m_plain->Descriptor() : -1; }

void TlsTransport::Close() {
  d->ready = false;
  d->ssl.reset();  // frees the BIO with it
  d->ctx.reset();
  if (m_plain) m_plain->Close();
}

TlsStart platform::StartTls(std::unique_ptr<Transport>& transport, const std::string& host, TlsInfo& info,
                            std::string& error) {
  auto tls = std::make_unique<TlsTransport>(std::move(transport));
  const TlsTransport::Handshake result = tls->Start(host);
  info = tls->Info();
  error = tls->ErrorText();
  transport = std::move(tls);
  if (result == TlsTransport::Handshake::Done) return TlsStart::Secured;
  return result == TlsTransport::Handshake::Abandoned ? TlsStart::Abandoned : TlsStart::Failed;
}
