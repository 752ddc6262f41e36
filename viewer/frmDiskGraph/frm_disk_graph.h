// frmDiskGraph: the disk graph window. One drive of one node over a range of periods: its size,
// the sum of its file lengths and its free space as a list, and as stacked areas whose top is the
// drive size.
#pragma once

#include <optional>
#include <string>

#include "viewer/analysis_window.h"
#include "viewer/frmMain/frm_main.h"

namespace brontal {

class FrmDiskGraph : public AnalysisWindow {
  Q_OBJECT

 public:
  // The window with its controls, hidden until the first GraphIt. The client, the link's
  // functions and the print services must outlive the window. Without `printing`, Print is
  // disabled. The link's current_key gives the disk usage window's selected disk, and
  // find_in_tree selects it in the main window.
  FrmDiskGraph(Client& client, MainWindowLink main_window,
               std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmDiskGraph() override;

  // Shows the window for a disk key (r\server1\c:, any case). Nothing for an empty key. The first
  // use after construction or closing loads the window behind the "Loading <path>" overlay;
  // another key, or a hidden window, redraws list and chart; the same key on a visible window
  // only brings it to the front.
  void GraphIt(const std::string& key);
};

}  // namespace brontal
