// Starting and stopping the sandbox in-process, as the tests and the demo do,
// and the command line's offline commands.

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

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
