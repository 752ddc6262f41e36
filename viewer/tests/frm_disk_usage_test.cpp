#include <QtTest>

class Placeholder : public QObject {
  Q_OBJECT
};

QTEST_MAIN(Placeholder)
#include "frm_disk_usage_test.moc"
