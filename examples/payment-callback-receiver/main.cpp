// payment-callback-receiver: a stand-in for a game's server that listens for
// the sandbox's payment callbacks.
//
//   payment-callback-receiver --port 9000 --secret APP_SECRET
//   tolba-sandbox game set --gameid 1001 --notify-url http://127.0.0.1:9000/paid --secret APP_SECRET
//
// Each paid order is printed once; a callback with a wrong signature is refused.

#include <httplib.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "callback_receiver.h"

int main(int argc, char** argv) {
  int port = 9000;
  std::string secret;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--port") port = std::atoi(argv[i + 1]);
    if (flag == "--secret") secret = argv[i + 1];
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
