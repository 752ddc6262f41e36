// Settings through QSettings' INI format. Every value is written and read as text, whatever it
// looks like, so that "007" or "true" come back exactly as they were stored.
#include "platform/qt_settings.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace brontal {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The stored "Section/Key" that section/key names, or the given spelling when none does.
QString StoredKey(const QSettings& settings, std::string_view section, std::string_view key) {
  const QString wanted = ToQString(section) + QLatin1Char('/') + ToQString(key);
  if (settings.contains(wanted)) return wanted;
  // The store the programs were written for ignores case in names; an INI file does not.
  for (const QString& stored : settings.allKeys()) {
    if (stored.compare(wanted, Qt::CaseInsensitive) == 0) return stored;
  }
  return wanted;
}

}  // namespace

QtSettings::QtSettings()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Brontal"), QStringLiteral("Brontal"))) {
}

QtSettings::QtSettings(const std::string& ini_path)
    : settings_(std::make_unique<QSettings>(ToQString(ini_path), QSettings::IniFormat)) {}

QtSettings::~QtSettings() = default;

std::string QtSettings::Get(std::string_view section, std::string_view key,
                            std::string_view default_value) const {
  const QString stored = StoredKey(*settings_, section, key);
  if (!settings_->contains(stored)) return std::string(default_value);
  const QVariant value = settings_->value(stored);
  // A hand-edited line "a, b" without quotes reads as a list; give it back as the text it was.
  if (value.typeId() == QMetaType::QStringList) {
    return value.toStringList().join(QStringLiteral(", ")).toStdString();
  }
  return value.toString().toStdString();
}

void QtSettings::Set(std::string_view section, std::string_view key, std::string_view value) {
  settings_->setValue(StoredKey(*settings_, section, key), ToQString(value));
  settings_->sync();
}

std::string QtSettings::FileName() const { return settings_->fileName().toStdString(); }

}  // namespace brontal
