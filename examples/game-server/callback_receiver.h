#pragma once
// What a game's server does with a payment callback from the publisher's
// server: read the form, check its signature with the game's app secret, and
// deliver the goods of each order once, however often the callback arrives.
//
// The signature ("sign") is the lower-case hex HMAC-SHA256, keyed with the app
// secret, of every other field sorted by name and joined as
// "name=value&name=value", with the values as they are (not URL-encoded).

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace payment_callback {

using Fields = std::map<std::string, std::string>;

// The fields of an "application/x-www-form-urlencoded" body ("+" is a blank).
Fields parseForm(std::string_view body);

// Whether `fields` carry a valid "sign" for `appSecret` (compared in constant time).
bool signatureValid(const Fields& fields, std::string_view appSecret);

// The "sign" of `fields` (every field but "sign") under `appSecret`.
std::string signature(const Fields& fields, std::string_view appSecret);
// `fields` with their "time" (now) and "sign" added, as a form body: what a
// game's server posts to the publisher's /server/login/verify and
// /server/order/query.
std::string signedRequest(Fields fields, std::string_view appSecret);

class Receiver {
 public:
  explicit Receiver(std::string appSecret) : secret_(std::move(appSecret)) {}

  struct Answer {
    int status = 200;
    std::string body;       // "success" tells the publisher to stop retrying
    bool newOrder = false;  // the goods of this order are to be delivered now
    std::string orderId;
  };
  // Handles one callback body.
  Answer handle(std::string_view body);

  // Orders whose goods were delivered.
  std::set<std::string> delivered() const;

 private:
  const std::string secret_;
  mutable std::mutex mutex_;
  std::set<std::string> delivered_;
};

}  // namespace payment_callback
