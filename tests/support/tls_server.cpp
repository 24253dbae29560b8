#include "support/tls_server.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "net/TolbaDataFunc.h"

namespace tolba::testing {
namespace {

void addExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) throw std::runtime_error("test certificate: bad extension " + value);
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

void writePem(const std::filesystem::path& path, const std::function<int(FILE*)>& write) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) throw std::runtime_error("test certificate: cannot write " + path.string());
  const int ok = write(file);
  std::fclose(file);
  if (ok != 1) throw std::runtime_error("test certificate: cannot encode " + path.string());
}

}  // namespace

TestCertificate makeSelfSignedCertificate(const std::filesystem::path& directory, const std::string& name,
                                          const std::string& subjectAltName) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (key == nullptr) throw std::runtime_error("test certificate: no key");
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  static std::atomic<long> serial{1};
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* subject = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1,
                             0);
  X509_set_issuer_name(certificate, subject);
  addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(certificate, NID_key_usage, "critical,digitalSignature,keyCertSign");
  addExtension(certificate, NID_ext_key_usage, "serverAuth");
  addExtension(certificate, NID_subject_alt_name, subjectAltName);
  X509_sign(certificate, key, EVP_sha256());

  TestCertificate out{directory / (name + ".pem"), directory / (name + ".key")};
  writePem(out.certificate, [&](FILE* f) { return PEM_write_X509(f, certificate); });
  writePem(out.privateKey,
           [&](FILE* f) { return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr); });
  X509_free(certificate);
  EVP_PKEY_free(key);
  return out;
}

struct TlsServer::Impl {
  Impl(const TestCertificate& c) : server(c.certificate.c_str(), c.privateKey.c_str()) {}
  httplib::SSLServer server;
  std::thread thread;
  int port = 0;
  std::atomic<int> answered{0};
  std::atomic<bool> finished{false};
};

TlsServer::TlsServer(const TestCertificate& certificate, const nlohmann::json& reply)
    : impl_(std::make_unique<Impl>(certificate)) {
  if (!impl_->server.is_valid()) throw std::runtime_error("TLS server: the certificate or key was refused");
  // One request per connection: a kept-alive connection would hold up stop().
  impl_->server.set_keep_alive_max_count(1);
  const std::string body = TolbaDataFunc::codingReplyJSON(reply).value_or("");
  impl_->server.Post(".*", [this, body](const httplib::Request&, httplib::Response& response) {
    response.set_content(body, "text/html");
    ++impl_->answered;
  });
  impl_->server.Get(".*", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secure page", "text/html");
  });
  impl_->port = impl_->server.bind_to_any_port("127.0.0.1");
  if (impl_->port <= 0) throw std::runtime_error("TLS server: cannot listen on 127.0.0.1");
  impl_->thread = std::thread([this] {
    impl_->server.listen_after_bind();
    impl_->finished = true;
  });
}

TlsServer::~TlsServer() {
  // stop() only acts on a server that has started listening.
  while (!impl_->server.is_running() && !impl_->finished) std::this_thread::yield();
  impl_->server.stop();
  impl_->thread.join();
}

std::string TlsServer::baseUrl() const { return "https://127.0.0.1:" + std::to_string(impl_->port); }

int TlsServer::answered() const { return impl_->answered.load(); }

}  // namespace tolba::testing
