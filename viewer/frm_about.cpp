// The About box: version, addresses and credits.
#include "viewer/frm_about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "viewer/frm_startup.h"

namespace brontal {

FrmAbout::FrmAbout(Client& client, QWidget* parent) : QDialog(parent), client_(client) {
  setObjectName("frmAbout");
  setWindowTitle("About Brontal");

  auto* product = new QLabel("Brontal", this);
  product->setObjectName("lblProduct");
  QFont font = product->font();
  font.setPointSize(font.pointSize() + 6);
  font.setBold(true);
  product->setFont(font);

  auto* version = new QLabel(
      QString::fromUtf8(kVersionText.data(), static_cast<qsizetype>(kVersionText.size())), this);
  version->setObjectName("lblVersion");

  auto* description = new QLabel(
      "Records the sizes of the directories of a group of servers, period after "
      "period, and shows where space was gained or lost.",
      this);
  description->setObjectName("lblDescription");
  description->setWordWrap(true);

  auto* credits = new QLabel(
      "Written by the Brontal developers.\n"
      "Built with Qt (The Qt Company and contributors) and SQLite (public domain).",
      this);
  credits->setObjectName("lblCredits");
  credits->setWordWrap(true);

  QLabel* web = MakeAddressLabel(
      WebPageAddress(), "lblWeb", [this] { client_.OpenWebPage(); }, this);
  // The label shows the bare address; the link itself starts the mail.
  std::string mail_address = MailAddress();
  if (mail_address.starts_with("mailto:")) mail_address.erase(0, 7);
  QLabel* mail = MakeAddressLabel(
      mail_address, "lblMail", [this] { client_.OpenMailTo(); }, this);

  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(product);
  layout->addWidget(version);
  layout->addWidget(description);
  layout->addWidget(web);
  layout->addWidget(mail);
  layout->addWidget(credits);
  layout->addLayout(buttons);
  setMinimumWidth(360);
  adjustSize();
  CentreOnScreen(*this);
}

}  // namespace brontal
