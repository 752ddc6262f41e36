// The single-instance rule over QLocalServer and QLocalSocket.
#include "viewer/single_instance.h"

#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <exception>
#include <string>
#include <utility>

namespace brontal {
namespace {

// Long enough for a busy desktop, short enough that a hung first copy does not keep the
// second one waiting noticeably.
constexpr int kConnectTimeoutMs = 1000;

}  // namespace

QString SingleInstanceName() {
  return "brontalc-" + QString::number(static_cast<qulonglong>(::getuid()));
}

void BringForward(QWidget& window) {
  if (window.isMinimized()) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
  }
  QWidget* target = QApplication::activeModalWidget();
  if (target == nullptr) target = &window;
  target->raise();
  target->activateWindow();
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::ActivatePreviousInstanceIfThereIsOne(QWidget& window, Settings& settings) {
  if (TellRunningCopy()) return true;
  switch (Listen()) {
    case ListenOutcome::kOtherCopy:
      return true;
    case ListenOutcome::kFailed:
      return false;
    case ListenOutcome::kListening:
      break;
  }
  window_ = &window;
  try {
    settings.Set("Options", "FirstInstance", std::to_string(window.winId()));
  } catch (const std::exception&) {
    // The id is only a note for other tools; the rule works without it.
  }
  return false;
}

bool SingleInstance::IsListening() const { return server_ != nullptr && server_->isListening(); }

bool SingleInstance::TellRunningCopy() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  // Being connected is the whole request; the byte only lets the other side see one.
  socket.write("1");
  socket.waitForBytesWritten(kConnectTimeoutMs);
  socket.disconnectFromServer();
  return true;
}

SingleInstance::ListenOutcome SingleInstance::Listen() {
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::AnswerLaterCopy);
  }
  if (server_->listen(name_)) return ListenOutcome::kListening;
  if (server_->serverError() != QAbstractSocket::AddressInUseError) return ListenOutcome::kFailed;
  // A copy starting at the same moment may have taken the name since we looked.
  if (TellRunningCopy()) return ListenOutcome::kOtherCopy;
  // Nobody answers under the name, yet its socket exists: a copy ended without removing it.
  QLocalServer::removeServer(name_);
  return server_->listen(name_) ? ListenOutcome::kListening : ListenOutcome::kFailed;
}

void SingleInstance::AnswerLaterCopy() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromServer();
  }
  if (window_ == nullptr) return;
  BringForward(*window_);
  QWidget* target = QApplication::activeModalWidget();
  emit Activated(target != nullptr ? target : window_);
}

}  // namespace brontal
