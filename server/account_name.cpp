#include "account_name.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace tolba::sandbox {
namespace {

bool directionControl(utf8proc_int32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::optional<std::string> refuse(std::string* why, const char* message) {
  if (why) *why = message;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> normaliseAccountName(std::string_view name, std::string* why) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(name.data());
  const auto size = static_cast<utf8proc_ssize_t>(name.size());
  bool blank = true;
  for (utf8proc_ssize_t i = 0; i < size;) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t n = utf8proc_iterate(bytes + i, size - i, &c);
    if (n <= 0) return refuse(why, "账号包含无效的字符编码");
    i += n;
    if (directionControl(c)) return refuse(why, "账号不能包含文字方向控制字符");
    switch (utf8proc_category(c)) {
      case UTF8PROC_CATEGORY_CC:
      case UTF8PROC_CATEGORY_ZL:
      case UTF8PROC_CATEGORY_ZP: return refuse(why, "账号不能包含控制字符或换行");
      case UTF8PROC_CATEGORY_CF: return refuse(why, "账号不能包含零宽或不可见的格式字符");
      case UTF8PROC_CATEGORY_CN: return refuse(why, "账号包含未分配的字符");
      case UTF8PROC_CATEGORY_CO:
      case UTF8PROC_CATEGORY_CS: return refuse(why, "账号包含私用或代理区字符");
      case UTF8PROC_CATEGORY_ZS: break;
      default: blank = false; break;
    }
  }
  if (blank) return refuse(why, "账号不能为空");
  std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> nfc(
      utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t*>(std::string(name).c_str())), &std::free);
  if (!nfc) return refuse(why, "账号包含无效的字符编码");
  std::string out(reinterpret_cast<const char*>(nfc.get()));
  if (out.size() > kLongestAccountName) return refuse(why, "账号过长");
  return out;
}

}  // namespace tolba::sandbox
