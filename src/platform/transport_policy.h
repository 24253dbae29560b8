#pragma once
// The rules every HTTP client of the SDK follows, the API requests and the web
// view's page loads alike: which URLs may be fetched, which certificates are
// trusted, how long a transfer may take and how much it may bring back.
//
// Plain http:// goes only to the player's own machine (a loopback host: a local
// sandbox) unless the game's Tolba.plist sets "allowplainhttp" to 1: the wire
// format is a scramble, not encryption, and without TLS a login's password and
// a payment page travel readable.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tolba::platform::transport {

// Longest wait for a connection to be set up.
inline constexpr std::chrono::milliseconds kConnectTimeout{15000};
// An API request ends when no byte goes either way for this long.
inline constexpr std::chrono::milliseconds kIdleTimeout{15000};
// Largest API reply; a longer one ends the request as a failure.
inline constexpr std::size_t kMaxReplyBytes = 32u << 20;
// Largest page; a longer one is cut (a page, not a download).
inline constexpr std::size_t kMaxPageBytes = 8u << 20;

// "localhost", 127.0.0.0/8 and ::1 (in brackets or not).
bool isLoopbackHost(std::string_view host);

// The host of an http:// or https:// URL ("" when there is none).
std::string hostOfUrl(std::string_view url);

// Whether `url` may be fetched: any https:// URL; an http:// URL to a loopback
// host, or to any host when `allowPlainHttp`. Other schemes never.
bool urlAllowed(std::string_view url, bool allowPlainHttp);

// Why `url` is refused, for a log line.
std::string refusal(std::string_view url);

// Sets on a libcurl easy handle (CURL*) what every transfer has: http and https
// only, no signals, TLS peers and their names verified against the CA set (the
// system's CAs, and the extra CA file when the host application names one:
// platform::extraCaFile()), and the connect time-out. Any thread.
void apply(void* curlHandle, std::chrono::milliseconds connectTimeout = kConnectTimeout);

}  // namespace tolba::platform::transport
