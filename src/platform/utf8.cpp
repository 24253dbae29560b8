#include "platform/utf8.h"

namespace tolba::platform::utf8 {

Decoded decode(std::string_view s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t c = 0;
  // The range of the second byte narrows for the leads whose shortest forms,
  // surrogates or upper bound it decides.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {kReplacement, 1, false};
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (at + k >= s.size()) return {kReplacement, k, false};
    const unsigned char next = byte(at + k);
    if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return {kReplacement, k, false};
    c = (c << 6) | (next & 0x3F);
  }
  return {c, length, true};
}

bool isValid(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const Decoded d = decode(s, i);
    if (!d.valid) return false;
    i += d.length;
  }
  return true;
}

std::size_t length(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++count) i += decode(s, i).length;
  return count;
}

std::string makeValid(std::string_view s) {
  if (isValid(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    const Decoded d = decode(s, i);
    if (d.valid) {
      out.append(s.substr(i, d.length));
    } else {
      append(out, kReplacement);
    }
    i += d.length;
  }
  return out;
}

void append(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::size_t previousBoundary(std::string_view s, std::size_t at) {
  if (at > s.size()) at = s.size();
  // Walk forward from a lead byte at most three bytes back, so that an invalid
  // sequence goes back as the one character it counts as.
  std::size_t start = at;
  for (std::size_t back = 1; back <= 4 && back <= at; ++back) {
    start = at - back;
    if ((static_cast<unsigned char>(s[start]) & 0xC0) != 0x80) break;
  }
  std::size_t boundary = start;
  for (std::size_t i = start; i < at;) {
    boundary = i;
    i += decode(s, i).length;
  }
  return at == 0 ? 0 : boundary;
}

std::string_view truncate(std::string_view s, std::size_t maxBytes) {
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t next = end + decode(s, end).length;
    if (next > maxBytes) break;
    end = next;
  }
  return s.substr(0, end);
}

}  // namespace tolba::platform::utf8
