// The numbered run-time errors of the command-line programs, and the number and text their
// error handlers write for any error they trap.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace brontal {

// A run-time error with the number the logs report it under (5 invalid argument, 6 overflow,
// 13 type mismatch, ...).
class RunError : public std::runtime_error {
 public:
  RunError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

// The number and text of a trapped error: the database's and the file system's own numbers,
// RunError's, 75 (path/file access) for other system errors, 5 for an invalid argument and 51
// (internal error) for anything else.
std::pair<int, std::string> DescribeError(std::exception_ptr error);

}  // namespace brontal
