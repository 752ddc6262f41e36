// The per-user settings store of application "Brontal": text values by section and key.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace brontal {

class Settings {
 public:
  virtual ~Settings() = default;
  // The value of section/key, or default_value when it was never set.
  virtual std::string Get(std::string_view section, std::string_view key,
                          std::string_view default_value) const = 0;
  virtual void Set(std::string_view section, std::string_view key, std::string_view value) = 0;
};

// Settings held in memory, for tests.
class MemorySettings : public Settings {
 public:
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view default_value) const override {
    auto found = values_.find({std::string(section), std::string(key)});
    return found == values_.end() ? std::string(default_value) : found->second;
  }
  void Set(std::string_view section, std::string_view key, std::string_view value) override {
    values_[{std::string(section), std::string(key)}] = std::string(value);
  }

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
};

}  // namespace brontal
