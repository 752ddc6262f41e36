// The monitor configuration dialog's widgets; what they do lives in monconfig/monitor_config.
#include "monconfig/frm_monitor_config.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets the text of a box only when it differs, so that the cursor stays where the user left it.
void ShowText(QLineEdit* box, const std::string& text) {
  const QString shown = ToQt(text);
  if (box->text() != shown) box->setText(shown);
}

}  // namespace

FrmMonitorConfig::FrmMonitorConfig(MonitorConfig& config, QWidget* parent)
    : QDialog(parent), config_(config) {
  setObjectName("frmMonitorConfig");
  stab_ = new QTabWidget(this);
  stab_->setObjectName("stab");
  BuildDatabaseTab();
  BuildLevelsTab();

  auto* status_bar = new QStatusBar(this);
  status_bar->setSizeGripEnabled(false);
  sb_ = new QLabel(status_bar);
  sb_->setObjectName("sb");
  status_bar->addWidget(sb_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(stab_);
  layout->addWidget(status_bar);

  config_.on_status = [this](const std::string& status) {
    sb_->setText(ToQt(status));
    sb_->repaint();
  };
  config_.Start();
  setWindowTitle(ToQt(config_.Caption()));
  connect(stab_, &QTabWidget::currentChanged, this, &FrmMonitorConfig::TabChanged);
  Refresh();

  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

FrmMonitorConfig::~FrmMonitorConfig() { config_.on_status = nullptr; }

void FrmMonitorConfig::BuildDatabaseTab() {
  auto* tab = new QWidget(stab_);
  auto* layout = new QGridLayout(tab);
  auto* label = new QLabel("Database file:", tab);
  label->setObjectName("Label8");
  txtdatabase_ = new QLineEdit(tab);
  txtdatabase_->setObjectName("txtdatabase");
  txtdatabase_->setMinimumWidth(320);
  auto* browse = new QPushButton("&Browse...", tab);
  browse->setObjectName("cmdBrowse");
  auto* connect_button = new QPushButton("Connect ", tab);
  connect_button->setObjectName("cmdConnect");
  layout->addWidget(label, 0, 0, 1, 2);
  layout->addWidget(txtdatabase_, 1, 0, 1, 2);
  layout->addWidget(browse, 2, 0);
  layout->addWidget(connect_button, 2, 1);
  layout->setRowStretch(3, 1);
  stab_->addTab(tab, "Database");

  connect(txtdatabase_, &QLineEdit::textEdited, this,
          [this](const QString& text) { config_.database_text = text.toStdString(); });
  connect(browse, &QPushButton::clicked, this, [this] {
    config_.Browse();
    Refresh();
  });
  connect(connect_button, &QPushButton::clicked, this, [this] {
    config_.Connect();
    Refresh();
  });
}

void FrmMonitorConfig::BuildLevelsTab() {
  auto* tab = new QWidget(stab_);
  auto* layout = new QGridLayout(tab);
  auto* label = new QLabel("Directory levels to report:", tab);
  label->setObjectName("Label1");
  txtLevels_ = new QLineEdit(tab);
  txtLevels_->setObjectName("txtLevels");
  txtLevels_->setMaximumWidth(48);

  // spnDl: an up and a down arrow beside the box, which step the level.
  auto* spin = new QWidget(tab);
  spin->setObjectName("spnDl");
  auto* arrows = new QVBoxLayout(spin);
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->setSpacing(0);
  for (const int step : {1, -1}) {
    auto* arrow = new QToolButton(spin);
    arrow->setObjectName(step > 0 ? "up" : "down");
    arrow->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
    arrow->setFixedSize(18, 12);
    arrows->addWidget(arrow);
    connect(arrow, &QToolButton::clicked, this, [this, step] {
      config_.Spin(step);
      Refresh();
    });
  }

  lblDefaultLevels_ = new QLabel(tab);
  lblDefaultLevels_->setObjectName("lblDefaultLevels");
  auto* ok = new QPushButton("&OK", tab);
  ok->setObjectName("cmdOK");
  layout->addWidget(label, 0, 0);
  layout->addWidget(txtLevels_, 0, 1);
  layout->addWidget(spin, 0, 2);
  layout->addWidget(lblDefaultLevels_, 0, 3);
  layout->addWidget(ok, 1, 3);
  layout->setColumnStretch(4, 1);
  layout->setRowStretch(2, 1);
  stab_->addTab(tab, "Directory Levels");

  connect(txtLevels_, &QLineEdit::textEdited, this,
          [this](const QString& text) { config_.levels_text = text.toStdString(); });
  connect(ok, &QPushButton::clicked, this, [this] {
    config_.Ok();
    Refresh();
  });
}

void FrmMonitorConfig::TabChanged(int index) {
  const int left = shown_tab_;
  shown_tab_ = index;
  if (!config_.TabChanged(left)) {
    // The path did not connect: the database tab stays, without running the handler again.
    const QSignalBlocker quiet(stab_);
    stab_->setCurrentIndex(MonitorConfig::kDatabaseTab);
    shown_tab_ = MonitorConfig::kDatabaseTab;
  }
  Refresh();
}

void FrmMonitorConfig::Refresh() {
  ShowText(txtdatabase_, config_.database_text);
  ShowText(txtLevels_, config_.levels_text);
  lblDefaultLevels_->setText(ToQt(config_.DefaultLevelsLabel()));
  sb_->setText(ToQt(config_.Status()));
  stab_->setTabEnabled(MonitorConfig::kLevelsTab, config_.LevelsTabEnabled());
  if (config_.Ended()) done(config_.Failed() ? kFailedResult : QDialog::Accepted);
}

}  // namespace brontal
