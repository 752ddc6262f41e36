// The start-up splash and the small pieces it shares with the About box.
#include "viewer/frm_startup.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <utility>

namespace brontal {
namespace {

// The product's picture: its name over a few growing bars, drawn so that no picture file has to
// travel with the program.
QPixmap SplashPicture() {
  QPixmap pixmap(320, 110);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient background(0, 0, 0, pixmap.height());
  background.setColorAt(0, QColor(20, 40, 110));
  background.setColorAt(1, QColor(70, 110, 190));
  p.fillRect(pixmap.rect(), background);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 90));
  const int heights[] = {20, 32, 28, 45, 58, 52, 74};
  for (int i = 0; i < 7; ++i) p.drawRect(200 + i * 16, 96 - heights[i], 12, heights[i]);
  QFont font = p.font();
  font.setPointSize(28);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(16, 10, 200, 60), Qt::AlignLeft | Qt::AlignVCenter, "Brontal");
  font.setPointSize(9);
  font.setBold(false);
  p.setFont(font);
  p.drawText(QRect(18, 66, 200, 30), Qt::AlignLeft | Qt::AlignVCenter,
             "Directory sizes, period after period");
  return pixmap;
}

}  // namespace

QLabel* MakeAddressLabel(const std::string& address, const char* object_name,
                         std::function<void()> open, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(object_name);
  label->setTextFormat(Qt::RichText);
  label->setText("<a href=\"address\">" + QString::fromStdString(address).toHtmlEscaped() + "</a>");
  label->setOpenExternalLinks(false);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  QObject::connect(label, &QLabel::linkActivated, label,
                   [open = std::move(open)](const QString&) { open(); });
  return label;
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

FrmStartup::FrmStartup(Client& client, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), client_(client) {
  setObjectName("frmStartup");
  setWindowTitle("Brontal");

  auto* picture = new QLabel(this);
  picture->setObjectName("imgPicture");
  picture->setPixmap(SplashPicture());

  auto* version = new QLabel(
      QString::fromUtf8(kVersionText.data(), static_cast<qsizetype>(kVersionText.size())), this);
  version->setObjectName("lblVersion");

  auto* line = new QFrame(this);
  line->setObjectName("linLine");
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);

  QLabel* web = MakeAddressLabel(
      WebPageAddress(), "lblWeb", [this] { client_.OpenWebPage(); }, this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(picture);
  layout->addWidget(version);
  layout->addWidget(line);
  layout->addWidget(web);
  adjustSize();
  CentreOnScreen(*this);
}

void FrmStartup::ByeForm() { hide(); }

void FrmStartup::mousePressEvent(QMouseEvent* event) {
  ByeForm();
  event->accept();
}

}  // namespace brontal
