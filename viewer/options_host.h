// What the Options dialog asks of the main window when its changes take effect.
#pragma once

#include "viewer/tree_list.h"

namespace brontal {

class OptionsHost {
 public:
  virtual ~OptionsHost() = default;
  // Fills the main window's pickers again from the client's periods, chooses P2 by the compare
  // setting, and shows the tree and list of that pick. When the client has no period left (a
  // purge took them all), the window empties its pickers, tree and list and shows the "nothing
  // to view" message, as at start-up on an empty database; a window already empty stays so.
  virtual void ReloadPeriods() = 0;
  // The client has moved to another database: the pickers, tree and list of the old one go, and
  // the new one's periods, tree and root list are shown as at start-up, or the "nothing to view"
  // message when it has no period.
  virtual void ShowNewDatabase() = 0;
  // Whether the main list has its columns (it has none before the first period is shown).
  virtual bool ListHasColumns() const = 0;
  // Sorts the main list by this column and order.
  virtual void SetListSort(ListSort sort) = 0;
};

}  // namespace brontal
