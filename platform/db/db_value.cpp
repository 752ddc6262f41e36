// Conversions of field values, failing the way the programs expect: a type mismatch.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/db/database.h"

namespace brontal::db {
namespace {

[[noreturn]] void Mismatch(const char* wanted) {
  throw DbError(kTypeMismatch, std::string("Type mismatch: the field holds no ") + wanted);
}

bool ParseInt(const std::string& text, std::int64_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

std::int64_t Value::AsInt64() const {
  if (auto* i = std::get_if<std::int64_t>(&data_)) return *i;
  if (auto* d = std::get_if<double>(&data_)) {
    if (std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 9.2e18) {
      return static_cast<std::int64_t>(*d);
    }
  } else if (auto* s = std::get_if<std::string>(&data_)) {
    std::int64_t out;
    if (ParseInt(*s, out)) return out;
  }
  Mismatch("whole number");
}

double Value::AsDouble() const {
  if (auto* i = std::get_if<std::int64_t>(&data_)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&data_)) return *d;
  if (auto* s = std::get_if<std::string>(&data_)) {
    double out;
    const char* end = s->data() + s->size();
    auto [ptr, ec] = std::from_chars(s->data(), end, out);
    if (ec == std::errc() && ptr == end && !s->empty()) return out;
  }
  Mismatch("number");
}

std::string Value::AsText() const {
  if (auto* s = std::get_if<std::string>(&data_)) return *s;
  if (auto* i = std::get_if<std::int64_t>(&data_)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&data_)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", *d);
    return text;
  }
  Mismatch("text");
}

std::string Value::TextOr(std::string_view fallback) const {
  return IsNull() ? std::string(fallback) : AsText();
}

DateTime Value::AsDate() const {
  if (auto* s = std::get_if<std::string>(&data_)) {
    if (auto date = DateTime::ParseIso(*s)) return *date;
  }
  Mismatch("date");
}

}  // namespace brontal::db
