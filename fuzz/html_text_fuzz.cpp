// Fuzzes the escaping of names written into HTML pages. Whatever the bytes, the escaped text
// holds no "<" and, once its entities are read back, is well-formed UTF-8 that keeps every
// ASCII character of the name in order; a name that was well-formed comes back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report/html_page.h"

namespace {

// The text with the three entities the escaping writes turned back into their characters;
// aborts on any other use of "&", which would change what a browser shows.
std::string Unescaped(std::string_view html) {
  std::string text;
  for (std::size_t i = 0; i < html.size(); ++i) {
    if (html[i] != '&') {
      text += html[i];
      continue;
    }
    const std::string_view rest = html.substr(i);
    if (rest.starts_with("&amp;")) {
      text += '&';
      i += 4;
    } else if (rest.starts_with("&lt;")) {
      text += '<';
      i += 3;
    } else if (rest.starts_with("&gt;")) {
      text += '>';
      i += 3;
    } else {
      std::abort();
    }
  }
  return text;
}

// Whether every character of `text` is a shortest-form UTF-8 sequence of a scalar value.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80       ? 0
                      : lead >> 5 == 6  ? 1
                      : lead >> 4 == 14 ? 2
                      : lead >> 3 == 30 ? 3
                                        : -1;
    if (extra < 0 || i + extra >= text.size()) return false;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if (byte >> 6 != 2) return false;
      code = code << 6 | (byte & 0x3F);
    }
    static const std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::string AsciiOf(std::string_view text) {
  std::string ascii;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) ascii += c;
  }
  return ascii;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::string html = brontal::HtmlText(name);
  if (html.find('<') != std::string::npos) std::abort();
  const std::string shown = Unescaped(html);
  if (!IsUtf8(shown) || AsciiOf(shown) != AsciiOf(name)) std::abort();
  if (IsUtf8(name) && shown != name) std::abort();
  return 0;
}
