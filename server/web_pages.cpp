#include "web_pages.h"

namespace tolba::sandbox {
namespace {

constexpr std::string_view kWeChatPrefix = "weixin://wap/pay?";

std::string page(std::string_view title, std::string_view body) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
  out += title;
  out += "</title></head><body>";
  out += body;
  out += "</body></html>\n";
  return out;
}

std::optional<std::string> queryValue(std::string_view query, std::string_view name) {
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) return std::string(pair.substr(eq + 1));
    start = end + 1;
  }
  return std::nullopt;
}

bool isHex(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::string htmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string simplePage(std::string_view title, std::string_view text) {
  return page(htmlEscape(title), "<h1>" + htmlEscape(title) + "</h1><p>" + htmlEscape(text) + "</p>");
}

std::string userAgreementPage() {
  return page("用户协议",
              "<h1>用户协议</h1>"
              "<p>欢迎使用本平台提供的游戏账号服务。注册或登录即表示您同意本协议。</p>"
              "<p>一、您应妥善保管账号和密码，不得将账号出借、转让或出售给他人。</p>"
              "<p>二、平台币仅可用于本平台内的游戏消费，不可兑换为现金。</p>"
              "<p>三、根据国家规定，未成年人的游戏时间和充值金额受到限制。</p>"
              "<p>四、本页面由测试服务器提供，仅用于开发和测试。</p>");
}

std::string privacyAgreementPage() {
  return page("隐私政策",
              "<h1>隐私政策</h1>"
              "<p>我们重视您的个人信息保护。</p>"
              "<p>一、我们收集的信息：账号名、设备标识、实名认证所需的姓名和身份证号。</p>"
              "<p>二、身份证号仅用于实名认证和防沉迷，不会用于其他用途，也不会向第三方提供。</p>"
              "<p>三、密码以加盐的慢哈希形式保存，任何人都无法读取您的密码原文。</p>"
              "<p>四、本页面由测试服务器提供，仅用于开发和测试。</p>");
}

std::string weChatAddress(const std::string& ticket, const std::string& orderId) {
  return std::string(kWeChatPrefix) + "prepayid=" + ticket + "&order=" + orderId;
}

std::optional<std::string> ticketOfWeChatAddress(std::string_view address) {
  if (address.substr(0, kWeChatPrefix.size()) != kWeChatPrefix) return std::nullopt;
  auto ticket = queryValue(address.substr(kWeChatPrefix.size()), "prepayid");
  if (!ticket || !isHex(*ticket)) return std::nullopt;
  return ticket;
}

bool refererMatches(std::string_view referer, std::string_view origin) {
  while (!origin.empty() && origin.back() == '/') origin.remove_suffix(1);
  if (origin.empty() || referer.substr(0, origin.size()) != origin) return false;
  return referer.size() == origin.size() || referer[origin.size()] == '/';
}

}  // namespace tolba::sandbox
