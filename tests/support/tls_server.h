#pragma once
// An HTTPS server on 127.0.0.1 for the transport's certificate checks, with a
// certificate made on the spot (self-signed, so it is its own CA). Every POST is
// answered with one fixed wire-format reply, every GET with the page "secure page".

#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace tolba::testing {

struct TestCertificate {
  std::filesystem::path certificate;  // PEM; also what a client must trust
  std::filesystem::path privateKey;   // PEM
};

// Writes a fresh self-signed certificate and its key into `directory` as
// `<name>.pem` and `<name>.key`. `subjectAltName` is in OpenSSL's form, e.g.
// "IP:127.0.0.1" or "DNS:elsewhere.example".
TestCertificate makeSelfSignedCertificate(const std::filesystem::path& directory, const std::string& name,
                                          const std::string& subjectAltName);

class TlsServer {
 public:
  TlsServer(const TestCertificate& certificate, const nlohmann::json& reply);
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  // "https://127.0.0.1:PORT".
  std::string baseUrl() const;
  // POST requests answered so far.
  int answered() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tolba::testing
