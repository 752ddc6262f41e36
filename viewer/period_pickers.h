// Filling a pair of period pickers: the periods newest first, P1 on the newest, P2 by the user's
// compare setting. The main window and the analysis windows each have such a pair.
#pragma once

#include <QComboBox>
#include <vector>

#include "platform/datetime.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/settings.h"

namespace brontal {

// Fills both pickers with the periods (newest first) as PeriodText writes them, selects the
// newest in `first` and in `second` the one that Options/CompareWhen chooses (ComparisonIndex,
// with last_looked for "When last looked"). A setting that is none of "0" to "5" shows
// kBadCompareMessage under the title "Brontal" and leaves `second` without a selection. With
// no periods the pickers keep what they hold. While this runs, LoadingPeriods is true for both
// pickers, so that their selection signals can be told from the user's picks.
void LoadPeriods(QComboBox& first, QComboBox& second, const std::vector<DateTime>& periods,
                 const Settings& settings, DateTime last_looked, const Locale& locale,
                 MessageBox& message_box);

// Fills both pickers with the periods (newest first) as PeriodText writes them and selects the
// entries at first_index and second_index, each kept within the list. With no periods the
// pickers keep what they hold. LoadingPeriods is true for both pickers meanwhile, as in
// LoadPeriods. The analysis windows fill their pickers so, following the main window's pick.
void FillPeriods(QComboBox& first, QComboBox& second, const std::vector<DateTime>& periods,
                 const Locale& locale, int first_index, int second_index);

// Whether LoadPeriods is filling this picker right now.
bool LoadingPeriods(const QComboBox& picker);

}  // namespace brontal
