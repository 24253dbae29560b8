#pragma once
// The plain web pages of the sandbox: the two agreement documents and the pages
// of the WeChat H5 payment.

#include <optional>
#include <string>
#include <string_view>

namespace tolba::sandbox {

std::string userAgreementPage();
std::string privacyAgreementPage();
// A short page with a heading and one paragraph (both escaped).
std::string simplePage(std::string_view title, std::string_view text);

// The "weixin://" address that hands a payment ticket to WeChat, naming the order.
std::string weChatAddress(const std::string& ticket, const std::string& orderId);
// The ticket named by a "weixin://" address made by weChatAddress, or nullopt.
std::optional<std::string> ticketOfWeChatAddress(std::string_view address);

// Whether a "Referer" value comes from `origin` (the origin itself, or a page
// under it).
bool refererMatches(std::string_view referer, std::string_view origin);

std::string htmlEscape(std::string_view text);

}  // namespace tolba::sandbox
