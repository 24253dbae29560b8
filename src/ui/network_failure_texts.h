#pragma once
// What the player reads when a request got no answer at all (no connection,
// time-out, a reply cut off or over the size bound).

namespace tolba {

// A request whose outcome changes nothing yet: the player may simply try again.
inline constexpr char kNetworkFailedToast[] = "网络连接失败，请稍后重试";
// A payment request (or its page) that got no answer: the server may have taken
// the payment, so nothing is promised either way.
inline constexpr char kPaymentNetworkFailedToast[] = "网络连接失败，支付结果未知";
// The payment page named a WeChat address but WeChat could not be opened.
inline constexpr char kWeChatNotOpenedToast[] = "无法打开微信";

}  // namespace tolba
