// game-server: a stand-in for a game's own server beside the publisher.
//
//   game-server --port 9000 --secret APP_SECRET --publisher http://127.0.0.1:8080
//   tolba-sandbox game set --gameid 1001 --notify-url http://127.0.0.1:9000/paid --secret APP_SECRET
//
// It trusts no client's word:
//   POST /paid    the publisher's payment callback: signature checked, goods
//                 delivered once per order
//   POST /login   gameid, username, token (form): the client's sign-in, checked
//                 with the publisher (/server/login/verify) before the user name
//                 is trusted
//   GET  /order?gameid=ID&orderid=ID   an order it has not heard about, asked of
//                 the publisher (/server/order/query)
// And from the command line, the same two questions:
//   game-server --secret S --publisher URL verify GAMEID USERNAME TOKEN
//   game-server --secret S --publisher URL query GAMEID ORDERID

#include <httplib.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "callback_receiver.h"

namespace {

// Asks the publisher `path` with `fields`, signed; its JSON answer, or nullopt
// when it did not answer.
std::optional<std::string> askPublisher(const std::string& publisher, const std::string& secret,
                                        const std::string& path, const payment_callback::Fields& fields) {
  httplib::Client client(publisher);
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  const auto res =
      client.Post(path, payment_callback::signedRequest(fields, secret), "application/x-www-form-urlencoded");
  if (!res) return std::nullopt;
  return res->body;
}

bool yes(const std::string& answer) { return answer.find("\"ok\":1") != std::string::npos; }

}  // namespace

int main(int argc, char** argv) {
  int port = 9000;
  std::string secret;
  std::string publisher;
  int i = 1;
  for (; i + 1 < argc && std::string(argv[i]).rfind("--", 0) == 0; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--port") port = std::atoi(argv[i + 1]);
    if (flag == "--secret") secret = argv[i + 1];
    if (flag == "--publisher") publisher = argv[i + 1];
  }
  const std::vector<std::string> rest(argv + i, argv + argc);
  if (!rest.empty()) {
    payment_callback::Fields fields;
    std::string path;
    if (rest.size() == 4 && rest[0] == "verify") {
      fields = {{"gameid", rest[1]}, {"username", rest[2]}, {"token", rest[3]}};
      path = "/server/login/verify";
    } else if (rest.size() == 3 && rest[0] == "query") {
      fields = {{"gameid", rest[1]}, {"orderid", rest[2]}};
      path = "/server/order/query";
    }
    if (path.empty() || secret.empty() || publisher.empty()) {
      std::cerr << "usage: game-server --secret S --publisher URL verify GAMEID USERNAME TOKEN\n"
                   "       game-server --secret S --publisher URL query GAMEID ORDERID\n";
      return 2;
    }
    const auto answer = askPublisher(publisher, secret, path, fields);
    if (!answer) {
      std::cerr << "no answer from " << publisher << "\n";
      return 1;
    }
    std::cout << *answer << std::endl;
    return yes(*answer) ? 0 : 1;
  }
  if (secret.empty() || port <= 0 || port > 65535) {
    std::cerr << "usage: game-server --port N --secret APP_SECRET [--publisher URL]\n";
    return 2;
  }

  payment_callback::Receiver receiver(secret);
  httplib::Server server;
  server.Post("/paid", [&](const httplib::Request& req, httplib::Response& res) {
    const auto answer = receiver.handle(req.body);
    if (answer.newOrder) {
      auto fields = payment_callback::parseForm(req.body);
      std::cout << "paid: order " << answer.orderId << " (game order " << fields["cporderid"] << ", "
                << fields["amount"] << " yuan, " << fields["username"] << ") -> deliver the goods" << std::endl;
    } else if (answer.status == 200) {
      std::cout << "again: order " << answer.orderId << " was delivered before" << std::endl;
    } else {
      std::cout << "refused: " << answer.body << std::endl;
    }
    res.status = answer.status;
    res.set_content(answer.body, "text/plain");
  });
  server.Post("/login", [&](const httplib::Request& req, httplib::Response& res) {
    auto fields = payment_callback::parseForm(req.body);
    const payment_callback::Fields asked{
        {"gameid", fields["gameid"]}, {"username", fields["username"]}, {"token", fields["token"]}};
    const auto answer =
        publisher.empty() ? std::nullopt : askPublisher(publisher, secret, "/server/login/verify", asked);
    const bool trusted = answer && yes(*answer);
    std::cout << (trusted ? "login: " : "login refused: ") << fields["username"] << " "
              << (answer ? *answer : std::string("(the publisher did not answer)")) << std::endl;
    res.status = trusted ? 200 : 403;
    res.set_content(trusted ? *answer : std::string("{\"ok\":0}"), "application/json");
  });
  server.Get("/order", [&](const httplib::Request& req, httplib::Response& res) {
    const payment_callback::Fields asked{{"gameid", req.get_param_value("gameid")},
                                         {"orderid", req.get_param_value("orderid")}};
    const auto answer =
        publisher.empty() ? std::nullopt : askPublisher(publisher, secret, "/server/order/query", asked);
    res.status = answer ? 200 : 502;
    res.set_content(answer.value_or("{\"ok\":0}"), "application/json");
  });
  std::cout << "listening on http://127.0.0.1:" << port << std::endl;
  return server.listen("127.0.0.1", port) ? 0 : 1;
}
