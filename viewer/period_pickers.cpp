// The filling of period pickers. The loading mark lives on each picker as a property, so that
// every window asks about its own pickers and nothing is shared between windows.
#include "viewer/period_pickers.h"

#include <algorithm>
#include <optional>
#include <string>

#include "viewer/client.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

constexpr char kLoadingProperty[] = "brontalLoadingPeriods";

// Marks both pickers as loading for its lifetime, also when the message box throws.
class LoadingMark {
 public:
  LoadingMark(QComboBox& first, QComboBox& second) : first_(first), second_(second) {
    first_.setProperty(kLoadingProperty, true);
    second_.setProperty(kLoadingProperty, true);
  }
  ~LoadingMark() {
    first_.setProperty(kLoadingProperty, false);
    second_.setProperty(kLoadingProperty, false);
  }
  LoadingMark(const LoadingMark&) = delete;
  LoadingMark& operator=(const LoadingMark&) = delete;

 private:
  QComboBox& first_;
  QComboBox& second_;
};

// Both pickers list `periods`, newest first, in place of what they held.
void ReplaceItems(QComboBox& first, QComboBox& second, const std::vector<DateTime>& periods,
                  const Locale& locale) {
  first.clear();
  second.clear();
  for (DateTime period : periods) {
    const QString text = QString::fromStdString(PeriodText(period, locale));
    first.addItem(text);
    second.addItem(text);
  }
}

}  // namespace

void LoadPeriods(QComboBox& first, QComboBox& second, const std::vector<DateTime>& periods,
                 const Settings& settings, DateTime last_looked, const Locale& locale,
                 MessageBox& message_box) {
  if (periods.empty()) return;
  LoadingMark mark(first, second);
  ReplaceItems(first, second, periods, locale);
  first.setCurrentIndex(0);
  // Adding the first entry selects it; the second picker starts without a selection so that
  // a bad setting leaves it showing none.
  second.setCurrentIndex(-1);

  const std::string compare_when = settings.Get("Options", "CompareWhen", "0");
  std::optional<int> index = ComparisonIndex(periods, compare_when, last_looked);
  if (!index) {
    message_box.Show(kBadCompareMessage, kViewerTitle);
    return;
  }
  second.setCurrentIndex(*index);
}

void FillPeriods(QComboBox& first, QComboBox& second, const std::vector<DateTime>& periods,
                 const Locale& locale, int first_index, int second_index) {
  if (periods.empty()) return;
  LoadingMark mark(first, second);
  ReplaceItems(first, second, periods, locale);
  const int last = static_cast<int>(periods.size()) - 1;
  first.setCurrentIndex(std::clamp(first_index, 0, last));
  second.setCurrentIndex(std::clamp(second_index, 0, last));
}

bool LoadingPeriods(const QComboBox& picker) { return picker.property(kLoadingProperty).toBool(); }

}  // namespace brontal
