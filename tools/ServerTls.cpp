#include "ServerTls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "TlsInfo.h"

namespace siteserver {

namespace {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};

std::string LibraryError() {
  const unsigned long e = ERR_get_error();
  const char* reason = e ? ERR_reason_error_string(e) : nullptr;
  return reason ? reason : "TLS library error";
}

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
  return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

}  // namespace

struct TlsServerContext::Impl {
  std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> ctx;
  std::unique_ptr<X509, Deleter<X509_free>> cert;
};

TlsServerContext::TlsServerContext() : d(std::make_unique<Impl>()) {}
TlsServerContext::~TlsServerContext() = default;

bool TlsServerContext::Generate(const std::string& commonName, std::string& error) {
  // The same certificate at every start: an Ed25519 key from a fixed seed
  // (its signatures carry no randomness) and fixed dates and serial. So a
  // user trusts the demo once, not once per start. The key is no secret and
  // only ever guards 127.0.0.1.
  unsigned char seed[32];
  const std::string phrase = "Korvastel demo site: a published key, for 127.0.0.1 only";
  unsigned seedLength = 0;
  std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>> key;
  if (EVP_Digest(phrase.data(), phrase.size(), seed, &seedLength, EVP_sha256(), nullptr) == 1)
    key.reset(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, sizeof seed));
  std::unique_ptr<X509, Deleter<X509_free>> cert(X509_new());
  if (!key || !cert) {
    error = LibraryError();
    return false;
  }
  X509_set_version(cert.get(), 2);
  if (ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 2026120701) != 1 ||
      ASN1_TIME_set_string(X509_getm_notBefore(cert.get()), "20260101000000Z") != 1 ||
      ASN1_TIME_set_string(X509_getm_notAfter(cert.get()), "20360101000000Z") != 1) {
    error = LibraryError();
    return false;
  }
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Korvastel demo"), -1, -1,
                             0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key.get());
  if (!AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,IP:::1,DNS:localhost") ||
      !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      X509_sign(cert.get(), key.get(), nullptr) <= 0) {  // Ed25519 hashes by itself
    error = LibraryError();
    return false;
  }
  std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>> ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate(ctx.get(), cert.get()) != 1 || SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1) {
    error = LibraryError();
    return false;
  }
  // FTP clients drop the connection without a close_notify; that is an end,
  // not an error.
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  d->ctx = std::move(ctx);
  d->cert = std::move(cert);
  return true;
}

std::string TlsServerContext::Fingerprint() const {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  if (!d->cert || X509_digest(d->cert.get(), EVP_sha256(), md, &len) != 1) return {};
  return FingerprintText(md, len);
}

struct ServerLink::Impl {
  std::unique_ptr<SSL, Deleter<SSL_free>> ssl;
  BIO* out = nullptr;  // owned by ssl: encrypted bytes waiting for the socket
};

ServerLink::ServerLink(int fd) : m_fd(fd), d(std::make_unique<Impl>()) {}
ServerLink::~ServerLink() = default;

bool ServerLink::Secured() const { return d->ssl != nullptr; }

// TLS writes go to memory and leave in large sends, as plain replies do,
// rather than one small send per record.
bool ServerLink::FlushOut(const io::StopLatch& stop) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(d->out, &data);
  const bool sent = n <= 0 || io::SendAll(m_fd, data, static_cast<std::size_t>(n), stop);
  (void)BIO_reset(d->out);
  return sent;
}

bool ServerLink::StartTls(const TlsServerContext& context, const io::StopLatch& stop) {
  if (!context.d->ctx) return false;
  std::unique_ptr<SSL, Deleter<SSL_free>> ssl(SSL_new(context.d->ctx.get()));
  std::unique_ptr<BIO, Deleter<BIO_free>> in(BIO_new_socket(m_fd, BIO_NOCLOSE)), out(BIO_new(BIO_s_mem()));
  if (!ssl || !in || !out) return false;
  d->out = out.get();
  SSL_set_bio(ssl.get(), in.release(), out.release());  // ssl owns both from here
  d->ssl = std::move(ssl);
  for (;;) {
    ERR_clear_error();
    const int r = SSL_accept(d->ssl.get());
    const int err = r == 1 ? SSL_ERROR_NONE : SSL_get_error(d->ssl.get(), r);
    if (!FlushOut(stop)) break;
    if (r == 1) return true;
    if (err != SSL_ERROR_WANT_READ || io::WaitFor(m_fd, POLLIN, stop, 30000) != io::Wait::Ready) break;
  }
  d->ssl.reset();
  d->out = nullptr;
  return false;
}

bool ServerLink::Send(const char* data, std::size_t size, const io::StopLatch& stop) {
  if (!d->ssl) return io::SendAll(m_fd, data, size, stop);
  // In pieces, so a long reply is on the wire while the rest is encrypted,
  // and the memory buffer stays small.
  constexpr std::size_t kPiece = 64 * 1024;
  for (std::size_t done = 0; done < size;) {
    const std::size_t piece = std::min(kPiece, size - done);
    ERR_clear_error();
    std::size_t written = 0;
    if (SSL_write_ex(d->ssl.get(), data + done, piece, &written) != 1 || !FlushOut(stop)) return false;
    done += written;
  }
  return true;
}

long ServerLink::Receive(char* buf, std::size_t size, const io::StopLatch& stop) {
  if (!d->ssl) {
    const ssize_t got = ::recv(m_fd, buf, size, 0);
    if (got >= 0) return static_cast<long>(got);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNothingYet : -1;
  }
  ERR_clear_error();
  std::size_t got = 0;
  const int r = SSL_read_ex(d->ssl.get(), buf, size, &got);
  const int err = r == 1 ? SSL_ERROR_NONE : SSL_get_error(d->ssl.get(), 0);
  if (!FlushOut(stop)) return -1;  // a key update's answer
  if (r == 1) return static_cast<long>(got);
  switch (err) {
    case SSL_ERROR_WANT_READ:
      return kNothingYet;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    default:
      return -1;
  }
}

bool ServerLink::HasPending() const { return d->ssl && SSL_pending(d->ssl.get()) > 0; }

}  // namespace siteserver
