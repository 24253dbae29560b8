// Starting and stopping the sandbox in-process: refused starts, and stops
// while clients are calling.

#include <atomic>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxLifecycleTest : public SandboxTest {};

TEST_F(SandboxLifecycleTest, StartFailsCleanlyOnABusyPortMissingFilesOrANewerDatabase) {
  startServer();
  std::string error;
  SandboxOptions busy = options_;
  busy.port = server_->port();
  EXPECT_FALSE(SandboxServer(busy).start(&error));
  EXPECT_NE(error.find("cannot bind"), std::string::npos) << error;

  SandboxOptions nowhere = options_;
  nowhere.dbPath = (dir_ / "missing" / "dir" / "s.db").string();
  EXPECT_FALSE(SandboxServer(nowhere).start(&error));
  EXPECT_NE(error.find("cannot open database"), std::string::npos) << error;

  // A key that is not there is a failed start, not a server without TLS.
  SandboxOptions noKey = options_;
  noKey.tlsCert = (dir_ / "cert.pem").string();
  noKey.tlsKey = (dir_ / "key.pem").string();
  error.clear();
  EXPECT_FALSE(SandboxServer(noKey).start(&error));
  EXPECT_FALSE(error.empty());

  server_->stop();
  server_->stop();  // twice is harmless
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(options_.dbPath.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE schema_version SET version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_FALSE(SandboxServer(options_).start(&error));
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
  for (int round = 0; round < 4; ++round) {
    SandboxServer server(options_);
    ASSERT_TRUE(server.start());
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 4; ++i) {
      clients.emplace_back([&, port = server.port()] {
        httplib::Client c("127.0.0.1", port);
        for (int k = 0; k < 5; ++k) {
          const auto res = c.Post("/sdkmini/pay/getPayWay", *TolbaDataFunc::codingJSON({{"zz", "1"}}), "text/html");
          if (res && res->status == 200) ++answered;
        }
      });
    }
    if (round % 2 == 1) server.stop();  // while clients are still calling
    for (auto& t : clients) t.join();
    EXPECT_TRUE(round % 2 == 1 || answered.load() == 20) << answered.load();
    server.stop();
    EXPECT_FALSE(server.running());
  }
}

}  // namespace
}  // namespace tolba::sandbox::testing
