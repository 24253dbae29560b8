#pragma once
// The message a game's server receives when one of its orders is paid: a form
// POST ("application/x-www-form-urlencoded") to the game's callback address
// with the fields
//   orderid, cporderid, gameid, amount (yuan, "6" or "0.01"), username (the
//   aggregation user name the game was given at sign-in), roleid, serverid,
//   method ("coin" or "wechat"), time (seconds since 1970 when it was paid)
// and "sign": the lower-case hex HMAC-SHA256, keyed with the game's app secret,
// of the other fields sorted by name and joined as "name=value&name=value"
// (values as they are, not URL-encoded). The game's server answers the text
// "success" once it has recorded the order; anything else is retried. The same
// order may arrive more than once (after a crash), so receivers deliver goods
// once per orderid.

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sandbox_store.h"

namespace tolba::sandbox {

using FormFields = std::map<std::string, std::string>;

// The fields of `order`'s callback, without "sign".
FormFields paymentCallbackFields(const Order& order);
// The signature of `fields` (every field but "sign") under `secret`.
std::string callbackSignature(const FormFields& fields, std::string_view secret);
// The form body: name=value pairs, percent-encoded, joined by "&".
std::string formEncode(const FormFields& fields);
// A form body back into its fields ("+" is a space); nullopt for a malformed
// one: bad percent-encoding, a pair without "=", or a field named twice.
std::optional<FormFields> formDecode(std::string_view body);

// The outbox entry of `order` for `game`, signed and due at `nowMs`.
Callback makePaymentCallback(const Order& order, const GameSettings& game, std::int64_t nowMs);

// Whether `url` is an http:// or https:// address that a callback can go to.
bool validCallbackUrl(const std::string& url);

}  // namespace tolba::sandbox
