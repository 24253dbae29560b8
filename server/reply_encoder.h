#pragma once
// Reply bodies in the wire format. The client's reader refuses base64 text with
// line breaks, so the server writes its base64 in one unbroken run, whatever
// the length of the reply.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tolba::sandbox {

// The scrambled body of `reply`, base64 without line breaks; nullopt when the
// value cannot be written as JSON.
std::optional<std::string> encodeReply(const nlohmann::json& reply, std::string_view key);

// The body the request writer would produce, with CR LF every 64 base64
// characters. Short replies are padded with a filler entry ("_pad") so that the
// body always carries at least one break. Used to inject faulty replies.
std::optional<std::string> encodeReplyWithLineBreaks(const nlohmann::json& reply, std::string_view key);

}  // namespace tolba::sandbox
