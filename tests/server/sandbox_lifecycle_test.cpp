// Starting and stopping the sandbox in-process, as the tests and the demo do,
// and the command line's offline commands.

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "command_line.h"
#include "load_bench.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxLifecycleTest : public SandboxTest {};

TEST_F(SandboxLifecycleTest, TwoServersOnFreePortsReportTheirUrls) {
  startServer();
  SandboxOptions second = options_;
  second.dbPath = ":memory:";
  SandboxServer other(second);
  std::string error;
  ASSERT_TRUE(other.start(&error)) << error;
  EXPECT_NE(other.port(), server_->port());
  EXPECT_EQ(server_->baseUrl(), "http://127.0.0.1:" + std::to_string(server_->port()));
  EXPECT_TRUE(other.running());

  httplib::Client c("127.0.0.1", other.port());
  const auto res = c.Get("/sandbox/health");
  ASSERT_TRUE(res);
  EXPECT_EQ(Json::parse(res->body)["schema"], Store::kSchemaVersion);
  other.stop();
  other.stop();  // twice is harmless
  EXPECT_FALSE(other.running());
  EXPECT_FALSE(httplib::Client("127.0.0.1", other.port()).Get("/sandbox/health"));
  EXPECT_TRUE(log_->contains("[sandbox] serving " + server_->baseUrl()));
}

TEST_F(SandboxLifecycleTest, StartFailsCleanlyOnABusyPortOrAnUnusableDatabase) {
  startServer();
  SandboxOptions busy = options_;
  busy.port = server_->port();
  SandboxServer clash(busy);
  std::string error;
  EXPECT_FALSE(clash.start(&error));
  EXPECT_NE(error.find("cannot bind"), std::string::npos) << error;
  EXPECT_FALSE(clash.running());

  SandboxOptions nowhere = options_;
  nowhere.dbPath = (dir_ / "missing" / "dir" / "s.db").string();
  SandboxServer noDb(nowhere);
  EXPECT_FALSE(noDb.start(&error));
  EXPECT_NE(error.find("cannot open database"), std::string::npos) << error;

  SandboxOptions badKey = options_;
  badKey.key = "short";
  EXPECT_FALSE(SandboxServer(badKey).start(&error));
  EXPECT_FALSE(error.empty());
}

TEST_F(SandboxLifecycleTest, ADatabaseFromANewerVersionIsRefused) {
  startServer();
  server_->stop();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(options_.dbPath.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE schema_version SET version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  SandboxServer newer(options_);
  std::string error;
  EXPECT_FALSE(newer.start(&error));
  EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

TEST_F(SandboxLifecycleTest, StartAndStopRepeatedlyWhileClientsCall) {
  options_.dbPath = ":memory:";
  options_.logRequests = false;
  {
    // The HTTP library builds some statics on first use without a lock that the
    // thread sanitizer can see; make that first use here, before the threads.
    SandboxServer warmUp(options_);
    ASSERT_TRUE(warmUp.start());
    ASSERT_TRUE(httplib::Client("127.0.0.1", warmUp.port()).Get("/sandbox/health"));
  }
  for (int round = 0; round < 5; ++round) {
    SandboxServer server(options_);
    ASSERT_TRUE(server.start());
    const int port = server.port();
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i) {
      clients.emplace_back([&] {
        httplib::Client c("127.0.0.1", port);
        for (int k = 0; k < 5; ++k) {
          if (auto res = c.Post("/sdkmini/pay/getPayWay", *TolbaDataFunc::codingJSON({{"zz", "1"}}), "text/html")) {
            if (res->status == 200) ++answered;
          }
        }
      });
    }
    if (round % 2 == 0) {
      for (auto& t : clients) t.join();
      EXPECT_EQ(answered.load(), 20);
      server.stop();
    } else {
      server.stop();  // while clients are still calling
      for (auto& t : clients) t.join();
    }
    EXPECT_FALSE(server.running());
  }
}

// Writes a self-signed certificate for 127.0.0.1 and its key as PEM files.
void writeSelfSigned(const std::filesystem::path& certPath, const std::filesystem::path& keyPath) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  ASSERT_NE(key, nullptr);
  X509* cert = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  const std::string host = "127.0.0.1";
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  ASSERT_GT(X509_sign(cert, key, EVP_sha256()), 0);
  FILE* f = std::fopen(certPath.c_str(), "w");
  PEM_write_X509(f, cert);
  std::fclose(f);
  f = std::fopen(keyPath.c_str(), "w");
  PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(f);
  X509_free(cert);
  EVP_PKEY_free(key);
}

TEST_F(SandboxLifecycleTest, ServesHttpsWithACertificateAndKey) {
  options_.tlsCert = (dir_ / "cert.pem").string();
  options_.tlsKey = (dir_ / "key.pem").string();
  writeSelfSigned(options_.tlsCert, options_.tlsKey);
  startServer();
  EXPECT_EQ(server_->baseUrl(), "https://127.0.0.1:" + std::to_string(server_->port()));
  httplib::SSLClient tls("127.0.0.1", server_->port());
  tls.enable_server_certificate_verification(false);
  const auto res = tls.Post("/sdkmini/login/register", *TolbaDataFunc::codingJSON(loginRequest("alice", "pw")), "text/html");
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  const auto reply = TolbaDataFunc::decodingJSON(res->body);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)["z"], 1);
  server_->stop();

  // A key that is not there is a failed start, not a server without TLS.
  SandboxOptions broken = options_;
  broken.tlsKey = (dir_ / "missing.pem").string();
  SandboxServer noKey(broken);
  std::string error;
  EXPECT_FALSE(noKey.start(&error));
  EXPECT_FALSE(error.empty());
}

TEST_F(SandboxLifecycleTest, WaitReturnsOnceAnotherThreadStopsTheServer) {
  startServer();
  std::thread stopper([this] { server_->stop(); });
  server_->wait();
  stopper.join();
  EXPECT_FALSE(server_->running());
}

TEST_F(SandboxLifecycleTest, CommandLineManagesAccountsAndListsOrders) {
  const std::string db = options_.dbPath;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(runCommandLine({"account", "add", "alice", "pw", "--coins", "5", "--db", db}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("5 coins"), std::string::npos) << out.str();
  EXPECT_EQ(runCommandLine({"account", "add", "alice", "pw", "--db", db}, out, err), 1);
  EXPECT_EQ(runCommandLine({"account", "topup", "alice", "2.5", "--db", db}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("now has 7.5 coins"), std::string::npos) << out.str();
  EXPECT_EQ(runCommandLine({"account", "topup", "nobody", "1", "--db", db}, out, err), 1);
  EXPECT_EQ(runCommandLine({"account", "topup", "alice", "0", "--db", db}, out, err), 2);
  EXPECT_EQ(runCommandLine({"launch"}, out, err), 2);

  startServer();
  const Json reply = call("sdkmini/login/dologin", loginRequest("alice", "pw"));
  ASSERT_EQ(reply.value("z", -1), 1) << reply.dump();
  ChannelLogin l{reply["b"], reply["e"], reply["d"], reply};
  const std::string username = signInReply(l.uid, extrasOf(l))["c"]["username"];
  const std::string orderId = submitOrder(username, "cp-9", "7.5");
  ASSERT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, orderId, "7.5"))["z"], 1);

  // The command line reads the same file while the server runs.
  out.str("");
  EXPECT_EQ(runCommandLine({"orders", "--db", db}, out, err), 0) << err.str();
  EXPECT_NE(out.str().find(orderId), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("paid"), std::string::npos);
  EXPECT_NE(out.str().find("1 order\n"), std::string::npos);
}

#ifdef TOLBA_SANDBOX_COMMAND
// Runs `tolba-sandbox serve --port 0`, reads the address it prints, calls it,
// and stops it with `signal`.
void serveUntilSignal(const std::filesystem::path& db, int signal) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  std::vector<std::string> args = {TOLBA_SANDBOX_COMMAND, "serve", "--port", "0", "--db", db.string(), "--quiet"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  FILE* out = fdopen(pipeEnds[0], "r");
  char line[512] = {};
  ASSERT_NE(fgets(line, sizeof line, out), nullptr);
  const std::string first = line;
  const auto at = first.find("http://127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << first;
  const int port = std::atoi(first.c_str() + at + 17);
  const auto res = httplib::Client("127.0.0.1", port).Get("/privacyagreement.html");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);

  ASSERT_EQ(kill(pid, signal), 0);
  std::string rest;
  while (fgets(line, sizeof line, out) != nullptr) rest += line;
  fclose(out);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(rest.find(signal == SIGINT ? "SIGINT" : "SIGTERM"), std::string::npos) << rest;
  EXPECT_NE(rest.find("stopped"), std::string::npos) << rest;
}

TEST_F(SandboxLifecycleTest, ServeStopsCleanlyOnSigintAndSigterm) {
  serveUntilSignal(dir_ / "a.db", SIGTERM);
  serveUntilSignal(dir_ / "a.db", SIGINT);
}
#endif

TEST_F(SandboxLifecycleTest, LoadBenchAnswersEveryRequest) {
  LoadBenchOptions options;
  options.clients = 3;
  options.loginRequests = 6;
  options.balanceRequests = 60;
  options.passwordIterations = 1000;
  std::vector<LoadBenchResult> results;
  std::string error;
  ASSERT_TRUE(runLoadBench(options, &results, &error)) << error;
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].endpoint, "sdkmini/login/dologin");
  EXPECT_EQ(results[1].requests, 60);
  for (const auto& r : results) EXPECT_EQ(r.failures, 0) << r.endpoint;
}

}  // namespace
}  // namespace tolba::sandbox::testing
