#include "account_name.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace tolba::sandbox {
namespace {

bool directionControl(utf8proc_int32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Characters that draw nothing yet are not formatting characters.
bool filler(utf8proc_int32_t c) {
  return c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0 ||      // Hangul fillers
         c == 0x2800 ||                                                   // braille blank
         c == 0x034F ||                                                   // combining grapheme joiner
         (c >= 0x180B && c <= 0x180F) ||                                  // Mongolian variation selectors
         (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);  // variation selectors
}

std::string_view trimSpaces(std::string_view name) {
  auto spaceAt = [&](std::size_t i, utf8proc_ssize_t* length) {
    utf8proc_int32_t c = 0;
    *length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(name.data()) + i,
                               static_cast<utf8proc_ssize_t>(name.size() - i), &c);
    return *length > 0 && utf8proc_category(c) == UTF8PROC_CATEGORY_ZS;
  };
  utf8proc_ssize_t n = 0;
  while (!name.empty() && spaceAt(0, &n)) name.remove_prefix(static_cast<std::size_t>(n));
  // From the end: find the last character that is not a space.
  std::size_t keep = 0;
  for (std::size_t i = 0; i < name.size();) {
    const bool space = spaceAt(i, &n);
    if (n <= 0) return name;  // invalid: refused later
    i += static_cast<std::size_t>(n);
    if (!space) keep = i;
  }
  return name.substr(0, keep);
}

std::optional<std::string> refuse(std::string* why, const char* message) {
  if (why) *why = message;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> normaliseAccountName(std::string_view name, std::string* why) {
  name = trimSpaces(name);
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(name.data());
  const auto size = static_cast<utf8proc_ssize_t>(name.size());
  bool blank = true;
  for (utf8proc_ssize_t i = 0; i < size;) {
    utf8proc_int32_t c = 0;
    const utf8proc_ssize_t n = utf8proc_iterate(bytes + i, size - i, &c);
    if (n <= 0) return refuse(why, "账号包含无效的字符编码");
    i += n;
    if (directionControl(c)) return refuse(why, "账号不能包含文字方向控制字符");
    if (filler(c)) return refuse(why, "账号不能包含不显示的填充字符");
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

std::string accountNameSkeleton(std::string_view name) {
  utf8proc_uint8_t* folded = nullptr;
  const auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPAT | UTF8PROC_COMPOSE |
                                                      UTF8PROC_CASEFOLD | UTF8PROC_IGNORE);
  const utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                                          static_cast<utf8proc_ssize_t>(name.size()), &folded, options);
  if (n < 0) return {};
  std::string out(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(n));
  std::free(folded);
  return out;
}

}  // namespace tolba::sandbox
