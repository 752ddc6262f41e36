// The single-instance rule of the viewer: a second copy started by the same user brings the
// first copy forward and ends without showing anything.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include "platform/settings.h"

class QLocalServer;

namespace brontal {

// The name under which the viewer's copies of the current user find each other: "brontalc-"
// and the user's number.
QString SingleInstanceName();

// Brings `window` forward: its open modal dialog when it has one, restored first when the
// window is minimized.
void BringForward(QWidget& window);

// One copy's side of the rule, over a local socket under a name unique to the user.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // When a copy listens under the name, tells it to come forward and returns true: this copy
  // should end. Otherwise this copy becomes the one that later copies find (a socket left
  // behind by a copy that crashed is removed first), writes Options/FirstInstance = the
  // window's id in decimal, ignoring errors, and returns false; from then on a later copy
  // brings `window` forward. When the socket cannot be made the copy runs on alone.
  bool ActivatePreviousInstanceIfThereIsOne(QWidget& window, Settings& settings);

  // Whether this copy listens for later copies.
  bool IsListening() const;

 signals:
  // A later copy asked for this one and `target` was brought forward.
  void Activated(QWidget* target);

 private:
  enum class ListenOutcome { kListening, kOtherCopy, kFailed };

  // Whether a copy listens under the name; it has then been asked to come forward.
  bool TellRunningCopy();
  // Listens under the name, taking it over from a copy that no longer answers.
  ListenOutcome Listen();
  // A later copy connected: this copy's window comes forward.
  void AnswerLaterCopy();

  QString name_;
  QLocalServer* server_ = nullptr;
  QWidget* window_ = nullptr;
};

}  // namespace brontal
