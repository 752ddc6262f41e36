// The per-user settings store of application "Brontal" kept in an INI file through QSettings:
// $XDG_CONFIG_HOME/Brontal/Brontal.ini (~/.config/Brontal/Brontal.ini) unless told otherwise.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/settings.h"

class QSettings;

namespace brontal {

class QtSettings : public Settings {
 public:
  // The user's store of organization and application "Brontal".
  QtSettings();
  // The store in a given INI file, created at the first Set; for tests and tools.
  explicit QtSettings(const std::string& ini_path);
  ~QtSettings() override;
  QtSettings(const QtSettings&) = delete;
  QtSettings& operator=(const QtSettings&) = delete;

  // The value of section/key, matching both names regardless of case as the programs have
  // always found them; default_value when it was never set.
  std::string Get(std::string_view section, std::string_view key,
                  std::string_view default_value) const override;
  // Stores the value under the spelling a key already has (or the given one) and writes the
  // file at once. A file that cannot be written keeps the value for this process only.
  void Set(std::string_view section, std::string_view key, std::string_view value) override;

  // The INI file in use.
  std::string FileName() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace brontal
