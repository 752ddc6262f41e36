// Error numbers for the handlers of the command-line programs.
#include "store/run_error.h"

#include <system_error>

#include "platform/db/db_error.h"
#include "platform/filesystem.h"

namespace brontal {

std::pair<int, std::string> DescribeError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const db::DbError& e) {
    return {e.Number(), e.what()};
  } catch (const FsError& e) {
    return {e.Number(), e.what()};
  } catch (const RunError& e) {
    return {e.Number(), e.what()};
  } catch (const std::system_error& e) {
    return {kFsPathFileAccess, e.what()};
  } catch (const std::invalid_argument& e) {
    return {5, e.what()};
  } catch (const std::exception& e) {
    return {51, e.what()};
  }
}

}  // namespace brontal
