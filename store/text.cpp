// Tree-path splitting, UTF-8 aware field padding and the database's ASCII-only case folding.
#include "store/text.h"

#include <stdexcept>

namespace brontal {
namespace {

constexpr char kSeparator = '\\';

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the character starting at `pos`: the sequence its lead byte announces, cut
// short at the first byte that does not continue it, and 1 for a stray or invalid byte.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
  auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t expected = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    expected = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    expected = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    expected = 4;
  }
  std::size_t length = 1;
  while (length < expected && pos + length < text.size() &&
         IsContinuation(static_cast<unsigned char>(text[pos + length]))) {
    ++length;
  }
  return length;
}

}  // namespace

std::string ParentPath(std::string_view path) {
  std::size_t last = path.rfind(kSeparator);
  if (last == std::string_view::npos) {
    throw std::invalid_argument("path has no parent (no \"\\\"): \"" + std::string(path) + "\"");
  }
  return std::string(path.substr(0, last));
}

std::string LastPathPart(std::string_view path) {
  std::size_t last = path.rfind(kSeparator);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

int CountOccurrences(std::string_view text, std::string_view part) {
  if (part.empty()) return 0;
  int count = 0;
  for (std::size_t pos = text.find(part); pos != std::string_view::npos;
       pos = text.find(part, pos + part.size())) {
    ++count;
  }
  return count;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += CharacterLength(text, pos)) ++count;
  return count;
}

std::string_view FirstCharacters(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t taken = 0; taken < count && pos < text.size(); ++taken) {
    pos += CharacterLength(text, pos);
  }
  return text.substr(0, pos);
}

std::string PadField(std::string_view text, int width, bool blank) {
  if (width <= 0) return {};
  auto wanted = static_cast<std::size_t>(width);
  if (blank) return std::string(wanted, ' ');
  std::string field(FirstCharacters(text, wanted));
  std::size_t length = CharacterCount(field);
  if (length < wanted) field.append(wanted - length, ' ');
  return field;
}

std::string LowerCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string UpperCase(std::string_view text) {
  std::string raised(text);
  for (char& c : raised) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return raised;
}

std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace brontal
