// frmAbout: the About box of Help > About.
#pragma once

#include <QDialog>

#include "viewer/client.h"

namespace brontal {

// The modal box "About Brontal", centred on the screen: the version label "lblVersion"
// (kVersionText), the label "lblWeb" whose link opens the web page and "lblMail" whose link
// starts a mail, both through the client, the credits, and the button "cmdOK" ("&OK"), which
// closes it.
class FrmAbout : public QDialog {
  Q_OBJECT

 public:
  // The client must outlive the box.
  explicit FrmAbout(Client& client, QWidget* parent = nullptr);

 private:
  Client& client_;
};

}  // namespace brontal
