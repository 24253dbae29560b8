// payment-callback-receiver: a stand-in for a game's server that listens for
// the sandbox's payment callbacks.
//
//   payment-callback-receiver --port 9000 --secret APP_SECRET
//   tolba-sandbox game set --gameid 1001 --notify-url http://127.0.0.1:9000/paid --secret APP_SECRET
//
// Each paid order is printed once; a callback with a wrong signature is refused.
//
// It also asks the publisher as a game's server should, before it trusts a
// client's word:
//   payment-callback-receiver --secret APP_SECRET --publisher http://127.0.0.1:8080 verify GAMEID USERNAME TOKEN
//   payment-callback-receiver --secret APP_SECRET --publisher http://127.0.0.1:8080 query GAMEID ORDERID

#include <httplib.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "callback_receiver.h"

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
    // A question to the publisher instead of listening.
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
      std::cerr << "usage: payment-callback-receiver --secret S --publisher URL verify GAMEID USERNAME TOKEN\n"
                   "       payment-callback-receiver --secret S --publisher URL query GAMEID ORDERID\n";
      return 2;
    }
    httplib::Client client(publisher);
    const auto res = client.Post(path, payment_callback::signedRequest(fields, secret),
                                 "application/x-www-form-urlencoded");
    if (!res) {
      std::cerr << "no answer from " << publisher << "\n";
      return 1;
    }
    std::cout << res->body << std::endl;
    // {"ok": 1, ...} is the publisher's yes.
    return res->body.find("\"ok\":1") != std::string::npos ? 0 : 1;
  }
  if (secret.empty() || port <= 0 || port > 65535) {
    std::cerr << "usage: payment-callback-receiver --port N --secret APP_SECRET\n";
    return 2;
  }
  payment_callback::Receiver receiver(secret);
  httplib::Server server;
  server.Post(".*", [&](const httplib::Request& req, httplib::Response& res) {
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
  std::cout << "listening on http://127.0.0.1:" << port << std::endl;
  return server.listen("127.0.0.1", port) ? 0 : 1;
}
