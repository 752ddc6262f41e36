// The viewer's pictures, taken from the style's standard icons where one fits and drawn
// otherwise, so that the program needs no picture files beside it.
#include "viewer/images.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <functional>

namespace brontal {
namespace {

constexpr int kImageSize = 16;

QPixmap Blank() {
  QPixmap pixmap(kImageSize, kImageSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QPixmap Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap = Blank();
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  return pixmap;
}

// A style's picture at the image size. A style without it gets a plain square of `fallback`, so
// that every key always has a visible image.
QPixmap Standard(QStyle::StandardPixmap which, const QColor& fallback) {
  QPixmap pixmap = QApplication::style()->standardIcon(which).pixmap(kImageSize, kImageSize);
  if (!pixmap.isNull() && pixmap.width() == kImageSize && pixmap.height() == kImageSize)
    return pixmap;
  if (!pixmap.isNull()) {
    return pixmap.scaled(kImageSize, kImageSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return Draw([&](QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(fallback);
    p.drawRect(2, 2, 11, 11);
  });
}

// The same picture with a small light mark in its corner: the open state of a computer or a
// drive, which the style has no picture of.
QPixmap Opened(const QPixmap& closed) {
  QPixmap pixmap = closed;
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0, 90, 0));
  p.setBrush(QColor(80, 200, 80));
  p.drawEllipse(QRectF(10.5, 10.5, 5, 5));
  return pixmap;
}

QPixmap PrinterPicture() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 8, 6);  // the sheet
    p.setBrush(QColor(160, 160, 160));
    p.drawRect(1, 6, 14, 6);  // the body
    p.setBrush(Qt::white);
    p.drawRect(4, 10, 8, 5);  // the printed sheet
  });
}

QPixmap CopyPicture() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 8, 10);
    p.drawRect(6, 5, 8, 10);
    p.drawLine(8, 8, 12, 8);
    p.drawLine(8, 10, 12, 10);
    p.drawLine(8, 12, 12, 12);
  });
}

QPixmap GraphPicture() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::black);
    p.drawLine(1, 1, 1, 14);
    p.drawLine(1, 14, 15, 14);
    p.setPen(QPen(QColor(0, 0, 200), 1.5));
    p.drawPolyline(QPolygonF({{2, 11}, {5, 8}, {8, 10}, {11, 4}, {14, 6}}));
  });
}

QPixmap PiePicture() {
  return Draw([](QPainter& p) {
    const QRectF circle(1, 1, 14, 14);
    p.setPen(Qt::black);
    p.setBrush(QColor(0, 0, 200));
    p.drawPie(circle, 90 * 16, 250 * 16);
    p.setBrush(QColor(200, 0, 200));
    p.drawPie(circle, 340 * 16, 110 * 16);
  });
}

}  // namespace

ImageList::ImageList() {
  const QPixmap computer = Standard(QStyle::SP_ComputerIcon, QColor(0, 128, 128));
  const QPixmap drive = Standard(QStyle::SP_DriveHDIcon, QColor(128, 128, 128));
  images_["cclosed"] = computer;
  images_["copen"] = Opened(computer);
  images_["fclosed"] = Standard(QStyle::SP_DirClosedIcon, QColor(230, 200, 80));
  images_["fopen"] = Standard(QStyle::SP_DirOpenIcon, QColor(250, 220, 120));
  images_["dclosed"] = drive;
  images_["dopen"] = Opened(drive);
  images_["masterroot"] = Standard(QStyle::SP_DriveNetIcon, QColor(0, 0, 160));

  tools_["Print"] = QIcon(PrinterPicture());
  tools_["up1lvl"] = QIcon(Standard(QStyle::SP_FileDialogToParent, QColor(255, 255, 0)));
  tools_["Copy"] = QIcon(CopyPicture());
  tools_["Graph"] = QIcon(GraphPicture());
  tools_["piedisk"] = QIcon(PiePicture());
}

QIcon ImageList::Image(std::string_view key) const {
  auto found = images_.find(key);
  return found == images_.end() ? QIcon() : QIcon(found->second);
}

QIcon ImageList::TreeIcon(std::string_view closed, std::string_view open) const {
  auto closed_image = images_.find(closed);
  if (closed_image == images_.end()) return QIcon();
  QIcon icon(closed_image->second);
  if (auto open_image = images_.find(open); open_image != images_.end()) {
    icon.addPixmap(open_image->second, QIcon::Selected, QIcon::Off);
    icon.addPixmap(open_image->second, QIcon::Selected, QIcon::On);
  }
  return icon;
}

QIcon ImageList::ToolImage(std::string_view key) const {
  auto found = tools_.find(key);
  return found == tools_.end() ? QIcon() : found->second;
}

}  // namespace brontal
