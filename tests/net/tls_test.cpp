#include <gtest/gtest.h>

#include "net/TolbaNetTool.h"
#include "support/loopback_fixture.h"
#include "support/tls_server.h"
#include "tolba/platform/app_environment.h"
#include "toolkit/web_view.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using testing::BlockProbe;

// Certificates are checked: a server is trusted only through the system's CAs
// or the extra CA file the host application names, and only for its own address.
class TlsTransportTest : public testing::LoopbackTest {
 protected:
  void TearDown() override {
    platform::setExtraCaFile("");
    LoopbackTest::TearDown();
  }

  // Posts once to `server` and returns what its block received (nothing when
  // it was not called).
  std::vector<std::optional<Json>> post(const testing::TlsServer& server) {
    writeConfig({{"url", server.baseUrl()}});
    BlockProbe probe;
    TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", {{"zz", ""}}, probe.block());
    EXPECT_TRUE(runUntil([&] { return probe.released(); }));
    drain();
    return probe.results;
  }
};

TEST_F(TlsTransportTest, AnUntrustedCertificateEndsTheRequestWithoutACall) {
  const auto certificate = testing::makeSelfSignedCertificate(root_, "loopback", "IP:127.0.0.1");
  testing::TlsServer server(certificate, {{"code", 1}});
  EXPECT_TRUE(post(server).empty());
  EXPECT_EQ(server.answered(), 0);
}

TEST_F(TlsTransportTest, TheExtraCaFileOfTheHostIsTrustedForItsOwnAddressOnly) {
  const auto loopback = testing::makeSelfSignedCertificate(root_, "loopback", "IP:127.0.0.1");
  testing::TlsServer server(loopback, {{"code", 1}, {"ttb", 5}});
  platform::setExtraCaFile(loopback.certificate.string());
  EXPECT_EQ(post(server), std::vector<std::optional<Json>>{Json({{"code", 1}, {"ttb", 5}})});

  // Trusted, but made out to another host: refused.
  const auto elsewhere = testing::makeSelfSignedCertificate(root_, "elsewhere", "DNS:elsewhere.example");
  testing::TlsServer impostor(elsewhere, {{"code", 1}});
  platform::setExtraCaFile(elsewhere.certificate.string());
  EXPECT_TRUE(post(impostor).empty());
  EXPECT_EQ(impostor.answered(), 0);
}

// Pages follow the same rules as requests: the same certificates are trusted,
// and plain http:// goes to this machine only.
TEST_F(TlsTransportTest, PageLoadsTrustWhatRequestsTrust) {
  const auto loopback = testing::makeSelfSignedCertificate(root_, "loopback", "IP:127.0.0.1");
  testing::TlsServer server(loopback, {{"code", 1}});
  auto web = std::make_shared<platform::WebView>();
  auto load = [&](const std::string& url) {
    web->loadRequest(platform::URLRequest(url));
    EXPECT_TRUE(runUntil([&] { return !web->isLoading(); }));
    return web->lastError();
  };
  EXPECT_TRUE(load(server.baseUrl() + "/page").has_value());
  platform::setExtraCaFile(loopback.certificate.string());
  EXPECT_EQ(load(server.baseUrl() + "/page"), std::nullopt);
  EXPECT_EQ(web->pageText(), "secure page");
  EXPECT_EQ(post(server), std::vector<std::optional<Json>>{Json({{"code", 1}})});

  EXPECT_EQ(load("http://pay.example/h5"), "plain http refused");
  EXPECT_TRUE(log_->contains("WebView: not loading http://pay.example/h5: plain http:// to pay.example is refused"));
}

}  // namespace
}  // namespace tolba
