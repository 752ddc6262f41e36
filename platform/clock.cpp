// The machine's local time as a DateTime.
#include "platform/clock.h"

#include <ctime>

namespace brontal {

DateTime SystemClock::Now() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec == 60 ? 59 : local.tm_sec);
}

}  // namespace brontal
