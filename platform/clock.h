// Where the current date and time come from, so that tests can fix them.
#pragma once

#include "platform/datetime.h"

namespace brontal {

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time, to the second.
  virtual DateTime Now() const = 0;
};

// The machine's local time.
class SystemClock : public Clock {
 public:
  DateTime Now() const override;
};

// A clock that shows what it was set to.
class FixedClock : public Clock {
 public:
  explicit FixedClock(DateTime now) : now_(now) {}
  DateTime Now() const override { return now_; }
  void Set(DateTime now) { now_ = now; }

 private:
  DateTime now_;
};

}  // namespace brontal
