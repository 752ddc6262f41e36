// The one error type of the database layer: a number and a description, as the programs
// report them ("Aborting due to error 3045: ...").
#pragma once

#include <stdexcept>
#include <string>

namespace brontal::db {

// Error numbers for the cases the programs tell apart. They follow the numbering of the
// engine the programs were first written for, so that logs keep meaning the same thing.
enum ErrorNumber : int {
  kTypeMismatch = 13,
  kGeneral = 3000,              // any other engine failure
  kUpdateWithoutAddNew = 3020,  // Update without AddNew or Edit
  kNoCurrentRecord = 3021,
  kDuplicateKey = 3022,       // a unique index would hold a value twice
  kFileNotFound = 3024,
  kNoTransaction = 3034,      // CommitTrans or Rollback without BeginTrans
  kInUse = 3045,              // held by another program in a conflicting mode
  kDamaged = 3049,            // not a database, or a damaged one
  kCannotOpen = 3051,         // permission denied, read-only medium
  kSqlSyntax = 3075,
  kNoCurrentIndex = 3019,     // Seek before SetIndex
  kActionQuery = 3219,        // a snapshot asked of a statement that returns no rows
  kDatabaseExists = 3204,     // the destination of a compaction exists already
  kRequired = 3314,           // a required field left null
  kNotSupported = 3251,       // operation not supported for this type of recordset
  kLocked = 3260,             // busy: another connection holds the write lock
  kItemNotFound = 3265,       // no field or index of that name
  kClosed = 3420,             // the object is no longer open
};

class DbError : public std::runtime_error {
 public:
  DbError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }
  std::string Description() const { return what(); }

 private:
  int number_;
};

}  // namespace brontal::db
