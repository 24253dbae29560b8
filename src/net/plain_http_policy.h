#pragma once
// Which base URLs the transport may post to. The wire format is a scramble, not
// encryption: without TLS the password of a login travels readable. Plain
// http:// is therefore allowed only to the player's own machine (a loopback
// host: a local sandbox), unless the game's Tolba.plist sets "allowplainhttp"
// to 1, in which case the SDK warns at start.

#include <string>
#include <string_view>

namespace tolba {

// "localhost", 127.0.0.0/8 and ::1 (in brackets or not).
bool isLoopbackHost(std::string_view host);

// The host of an http:// or https:// URL ("" when there is none).
std::string hostOfUrl(std::string_view url);

// Whether a request to `url` may be sent: any https:// URL; an http:// URL to a
// loopback host, or to any host when `allowPlainHttp`. Other schemes never.
bool urlAllowed(std::string_view url, bool allowPlainHttp);

}  // namespace tolba
