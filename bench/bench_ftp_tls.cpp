// The 100,000-line SITE USERS reply through ControlConnection::Exchange (as
// bench_ftp_exchange measures it) with AUTH TLS against the same exchange in
// plain, both from the in-process demo site on 127.0.0.1; and connect + login
// with and without AUTH TLS and its handshake, as medians of 20.
//
// Beside them, the floor that TLS cannot go below on this machine: the
// negotiated cipher decrypting the same bytes in 16 KiB records in memory,
// with no socket, copy or line work at all. Prints TLS/plain (target at most
// 1.3) and (plain + decryption)/plain, the best ratio any client could reach.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ControlConnection.h"
#include "DemoSiteBench.h"
#include "Socket.h"
#include "TlsTransport.h"

namespace {

constexpr std::size_t kLines = 100000;
constexpr std::size_t kReplyBytes = kLines * 60;

siteserver::DemoServer* g_server = nullptr;
std::string g_sessionLine;  // the pane's line on protocol, cipher and certificate

// A logged-in control connection, plain or through TLS (the demo's
// certificate trusted as the user would after the first box).
struct Connection {
  bench::DiscardingSink sink;
  ControlConnection connection{sink, &platform::ConnectTcp};
  TlsOptions tls{&platform::StartTls, [](const std::string&, unsigned, const TlsInfo&) { return true; }};

  bool Open(bool secure) {
    ConnectError error;
    const bool in = connection.Open("127.0.0.1", g_server->Port(), "admin", "korvastel", error,
                                    secure ? &tls : nullptr) == ControlConnection::Login::LoggedIn;
    if (in && secure && g_sessionLine.empty()) g_sessionLine = sink.session;
    return in;
  }
};

void Reply(benchmark::State& state, bool tls) {
  Connection c;
  if (!c.Open(tls)) {
    state.SkipWithError("cannot log in");
    return;
  }
  for (auto _ : state) {
    c.sink.bytes = 0;
    // The pane shows each line with LF where the wire had CR LF.
    if (c.connection.Exchange("SITE USERS") != ControlConnection::Result::Done ||
        c.sink.bytes != kReplyBytes - kLines) {
      state.SkipWithError("short reply");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kReplyBytes));
}

void ConnectAndLogIn(benchmark::State& state, bool tls) {
  for (auto _ : state) {
    Connection c;
    if (!c.Open(tls)) {
      state.SkipWithError("cannot log in");
      return;
    }
  }
}

// TLS 1.3 record protection as the client undoes it: per record a nonce,
// the ciphertext and a 16-byte tag; the reply's bytes in 16 KiB records.
void Decrypt(benchmark::State& state, const EVP_CIPHER* cipher) {
  constexpr std::size_t kRecord = 16 * 1024;
  const std::vector<unsigned char> key(EVP_CIPHER_get_key_length(cipher), 7);
  unsigned char iv[12] = {1};
  std::vector<unsigned char> plain(kReplyBytes, 'u'), sealed(kReplyBytes), out(kReplyBytes);
  std::vector<unsigned char> tags((kReplyBytes / kRecord + 1) * 16);
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int n = 0;
  for (std::size_t at = 0, r = 0; at < kReplyBytes; at += kRecord, ++r) {
    const int len = static_cast<int>(std::min(kRecord, kReplyBytes - at));
    iv[11] = static_cast<unsigned char>(r);
    if (EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv) != 1 ||
        EVP_EncryptUpdate(ctx.get(), sealed.data() + at, &n, plain.data() + at, len) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), sealed.data() + at + n, &n) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, 16, tags.data() + r * 16) != 1) {
      state.SkipWithError("cannot encrypt");
      return;
    }
  }
  // The key is set once per session; each record sets only its nonce.
  if (EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, key.data(), nullptr) != 1) {
    state.SkipWithError("cannot set the key");
    return;
  }
  for (auto _ : state) {
    for (std::size_t at = 0, r = 0; at < kReplyBytes; at += kRecord, ++r) {
      const int len = static_cast<int>(std::min(kRecord, kReplyBytes - at));
      iv[11] = static_cast<unsigned char>(r);
      if (EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, nullptr, iv) != 1 ||
          EVP_DecryptUpdate(ctx.get(), out.data() + at, &n, sealed.data() + at, len) != 1 ||
          EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, 16, tags.data() + r * 16) != 1 ||
          EVP_DecryptFinal_ex(ctx.get(), out.data() + at + n, &n) != 1) {
        state.SkipWithError("record did not verify");
        return;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kReplyBytes));
}

void BM_ReplyPlain(benchmark::State& state) { Reply(state, false); }
void BM_ReplyTls(benchmark::State& state) { Reply(state, true); }
void BM_LoginPlain(benchmark::State& state) { ConnectAndLogIn(state, false); }
void BM_LoginTls(benchmark::State& state) { ConnectAndLogIn(state, true); }
void BM_DecryptAes128Gcm(benchmark::State& state) { Decrypt(state, EVP_aes_128_gcm()); }
void BM_DecryptAes256Gcm(benchmark::State& state) { Decrypt(state, EVP_aes_256_gcm()); }

BENCHMARK(BM_ReplyPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_ReplyTls)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_DecryptAes128Gcm)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_DecryptAes256Gcm)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_LoginPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(20);
BENCHMARK(BM_LoginTls)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(20);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto server = bench::StartDemoSite(kLines);
  if (!server) return 1;
  g_server = server.get();
  bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  server->Stop();

  auto& m = reporter.medians;
  auto& cpu = reporter.cpuMedians;
  const double plain = m["BM_ReplyPlain"], tls = m["BM_ReplyTls"];
  std::printf("\nSITE USERS through ControlConnection, %zu lines, %zu bytes over 127.0.0.1\n", kLines, kReplyBytes);
  if (!g_sessionLine.empty()) std::printf("  session %s", g_sessionLine.c_str());
  std::printf("  plain  median %.2f ms\n  TLS    median %.2f ms\n", plain, tls);
  if (plain > 0 && tls > 0)
    std::printf("  TLS/plain = %.2f (target <= 1.30): %s\n", tls / plain, tls / plain <= 1.3 ? "met" : "NOT met");
  // The server shares the machine's cores; the client's own CPU time is the
  // figure that load from elsewhere does not move.
  std::printf("  client CPU: plain %.2f ms, TLS %.2f ms, TLS/plain = %.2f\n", cpu["BM_ReplyPlain"],
              cpu["BM_ReplyTls"], cpu["BM_ReplyPlain"] > 0 ? cpu["BM_ReplyTls"] / cpu["BM_ReplyPlain"] : 0.0);
  for (const char* name : {"BM_DecryptAes128Gcm", "BM_DecryptAes256Gcm"}) {
    if (plain > 0 && m[name] > 0)
      std::printf("  floor, %s of the same bytes in memory: %.2f ms; (plain + that)/plain = %.2f\n", name + 10,
                  m[name], (plain + m[name]) / plain);
  }
  std::printf("Connect and log in, median of 20\n  plain %.2f ms\n  TLS (AUTH TLS + handshake) %.2f ms\n",
              m["BM_LoginPlain"], m["BM_LoginTls"]);
  return 0;
}
