// frmStartup: the splash shown while the viewer starts, with its version and the web address.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>
#include <string>

#include "viewer/client.h"

namespace brontal {

// A frameless window centred on the screen: the product's picture, the version label
// "lblVersion" (kVersionText), a line, and the label "lblWeb" with the web address, which opens
// the web page through the client when its link is clicked. A click anywhere else hides it.
class FrmStartup : public QWidget {
  Q_OBJECT

 public:
  // The client must outlive the window.
  explicit FrmStartup(Client& client, QWidget* parent = nullptr);

  // Hides the splash; it can be shown again.
  void ByeForm();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Client& client_;
};

// A label named object_name showing `address` as a link; clicking the link calls `open` (the
// label never opens anything itself). Shared with the About box.
QLabel* MakeAddressLabel(const std::string& address, const char* object_name,
                         std::function<void()> open, QWidget* parent);

// Moves a top-level window to the centre of the screen it is on (the primary screen first).
void CentreOnScreen(QWidget& window);

}  // namespace brontal
