// QtLocale: the user's number and date conventions, taken from QLocale and shaped into the
// forms the programs write (four-digit years, times with seconds, plain month abbreviations).
#include "platform/qt_locale.h"

#include <QDate>
#include <QTime>
#include <set>
#include <stdexcept>

#include "platform/fixed_locale.h"

namespace brontal {
namespace {

std::string ToUtf8(const QString& text) { return text.toStdString(); }

QString FromCodePoints(const QList<uint>& code_points, qsizetype count) {
  QString text;
  for (qsizetype i = 0; i < count && i < code_points.size(); ++i) {
    text += QString::fromUcs4(reinterpret_cast<const char32_t*>(&code_points[i]), 1);
  }
  return text;
}

// Applies `edit` to each run of one pattern letter outside quoted literals and returns the
// rebuilt format; `edit` gets the letter and the run's length and returns the replacement.
template <typename Edit>
QString EditFormatRuns(const QString& format, Edit edit) {
  QString result;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size();) {
    QChar c = format[i];
    if (c == u'\'') {
      quoted = !quoted;
      result += c;
      ++i;
      continue;
    }
    if (quoted || !c.isLetter()) {
      result += c;
      ++i;
      continue;
    }
    qsizetype end = i;
    while (end < format.size() && format[end] == c) ++end;
    result += edit(c, end - i);
    i = end;
  }
  return result;
}

// The short date format with "yy" widened to "yyyy": a log or a report outlives the century
// that a two-digit year leaves open.
QString DateFormatOf(const QLocale& locale) {
  return EditFormatRuns(locale.dateFormat(QLocale::ShortFormat), [](QChar c, qsizetype length) {
    if (c == u'y' && length == 2) return QString("yyyy");
    return QString(length, c);
  });
}

// The long time format without its time zone: the stored times carry none.
QString TimeFormatOf(const QLocale& locale) {
  QString format = EditFormatRuns(
      locale.timeFormat(QLocale::LongFormat),
      [](QChar c, qsizetype length) { return c == u't' ? QString() : QString(length, c); });
  format.remove(QStringLiteral("()")).remove(QStringLiteral("( )"));
  format = format.simplified();
  if (!format.contains(u's')) format = QStringLiteral("HH:mm:ss");
  return format;
}

std::string DateSeparatorOf(const QLocale& locale) {
  const QString sample = locale.toString(QDate(1999, 2, 1), QLocale::ShortFormat);
  for (uint code_point : sample.toUcs4()) {
    if (QChar::isDigit(code_point) || QChar::category(code_point) == QChar::Other_Format) {
      continue;
    }
    return ToUtf8(QString::fromUcs4(reinterpret_cast<const char32_t*>(&code_point), 1));
  }
  return "/";
}

std::array<std::string, 12> MonthsOf(const QLocale& locale) {
  std::array<QList<uint>, 12> names;
  for (int month = 1; month <= 12; ++month) {
    QString name = locale.standaloneMonthName(month, QLocale::ShortFormat);
    QString stripped = name;
    while (!stripped.isEmpty() && stripped.back().isPunct()) stripped.chop(1);
    names[static_cast<std::size_t>(month - 1)] = (stripped.isEmpty() ? name : stripped).toUcs4();
  }
  std::array<std::string, 12> cut;
  std::set<std::string> distinct;
  for (std::size_t i = 0; i < names.size(); ++i) {
    cut[i] = ToUtf8(FromCodePoints(names[i], 3));
    distinct.insert(cut[i]);
  }
  if (distinct.size() == cut.size()) return cut;

  std::array<std::string, 12> whole;
  for (std::size_t i = 0; i < names.size(); ++i) {
    whole[i] = ToUtf8(FromCodePoints(names[i], names[i].size()));
  }
  return whole;
}

}  // namespace

QtLocale::QtLocale() : QtLocale(QLocale::system()) {}

QtLocale::QtLocale(const QLocale& locale)
    : locale_(locale),
      date_separator_(DateSeparatorOf(locale)),
      months_(MonthsOf(locale)),
      date_format_(DateFormatOf(locale)),
      time_format_(TimeFormatOf(locale)) {}

std::string QtLocale::ThousandsSeparator() const { return ToUtf8(locale_.groupSeparator()); }

std::string QtLocale::DateSeparator() const { return date_separator_; }

std::string QtLocale::MonthAbbreviation(int month) const {
  if (month < 1 || month > 12) {
    throw std::out_of_range("month " + std::to_string(month) + " is not 1 to 12");
  }
  return months_[static_cast<std::size_t>(month - 1)];
}

std::string QtLocale::GeneralDate(DateTime value) const {
  std::string text =
      ToUtf8(locale_.toString(QDate(value.Year(), value.Month(), value.Day()), date_format_));
  if (value == value.DateOnly()) return text;
  return text + " " +
         ToUtf8(
             locale_.toString(QTime(value.Hour(), value.Minute(), value.Second()), time_format_));
}

std::unique_ptr<Locale> MakeUserLocale() {
  QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return std::make_unique<FixedLocale>();
  return std::make_unique<QtLocale>(system);
}

}  // namespace brontal
