// The database engine over the SQLite C API: connections guarded by a lock file, snapshots
// copied out at once so that no idle reader holds up a writer, table recordsets with prepared
// statements reused for every row, nested transactions over savepoints.
#include "platform/db/sqlite_engine.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/db/file_lock.h"
#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/db/jetsql/translate.h"

namespace brontal::db {
namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// Text between quotes, a quote within it doubled.
std::string Quoted(std::string_view text, char quote) {
  std::string quoted(1, quote);
  for (char c : text) {
    quoted += c;
    if (c == quote) quoted += quote;
  }
  return quoted + quote;
}

std::string QuoteIdentifier(std::string_view name) { return Quoted(name, '"'); }
std::string QuoteText(std::string_view text) { return Quoted(text, '\''); }

int ErrorNumberFor(int extended_code) {
  switch (extended_code) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      return kDuplicateKey;
    case SQLITE_CONSTRAINT_NOTNULL:
      return kRequired;
    case SQLITE_CONSTRAINT_DATATYPE:
    case SQLITE_CONSTRAINT_CHECK:
      return kTypeMismatch;
  }
  switch (extended_code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kLocked;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return kDamaged;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return kCannotOpen;
  }
  return kGeneral;
}

[[noreturn]] void Fail(sqlite3* handle, int code, const std::string& context) {
  int extended = handle ? sqlite3_extended_errcode(handle) : code;
  if ((extended & 0xff) != (code & 0xff)) extended = code;
  std::string message = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(code);
  if ((extended & 0xff) == SQLITE_BUSY) {
    message = "The database is locked by another program writing to it";
  }
  throw DbError(ErrorNumberFor(extended), context.empty() ? message : message + " " + context);
}

struct FileStatus {
  bool exists = false;
  bool regular = false;
  bool empty = false;
};

FileStatus StatusOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {true, S_ISREG(info.st_mode), info.st_size == 0};
}

// An existing, non-empty regular file: the engine would take an empty file for an empty
// database, but no database of the system is ever empty.
void RequireDatabaseFile(const std::string& path) {
  FileStatus status = StatusOf(path);
  if (!status.exists) throw DbError(kFileNotFound, "Could not find file '" + path + "'.");
  if (!status.regular) throw DbError(kCannotOpen, "'" + path + "' is not a database file.");
  if (status.empty) throw DbError(kDamaged, "Unrecognized database format '" + path + "'.");
}

// SQLite's NOCASE comparison, to the byte: ASCII letters folded, stopping at a NUL byte, the
// lengths deciding between texts equal that far. The stored paths share long prefixes (every
// row of a node starts with the same drive and folders), and this version passes equal bytes
// eight at a time instead of folding each, which is most of the cost of keeping the indexes
// on them. The order is SQLite's own, so files stay valid for any other program.
int CompareNoCase(void*, int left_size, const void* left, int right_size, const void* right) {
  auto* a = static_cast<const unsigned char*>(left);
  auto* b = static_cast<const unsigned char*>(right);
  const int common = std::min(left_size, right_size);
  int i = 0;
  for (; i + 8 <= common; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    const bool has_nul = ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
    if (x != y || has_nul) break;
  }
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : static_cast<int>(c); };
  for (; i < common; ++i) {
    if (a[i] == 0 || fold(a[i]) != fold(b[i])) {
      if (int order = fold(a[i]) - fold(b[i])) return order;
      break;
    }
  }
  return left_size - right_size;
}

class RecordsetBase;

// One open database file: the SQLite handle and the lock that stands for its open mode.
class Connection {
 public:
  Connection(std::string path, FileLock lock, bool exclusive, sqlite3* handle, const Clock* clock)
      : path_(std::move(path)),
        lock_(std::move(lock)),
        exclusive_(exclusive),
        handle_(handle),
        clock_(clock) {}
  ~Connection() { Close(); }

  const std::string& path() const { return path_; }
  bool exclusive() const { return exclusive_; }
  bool closed() const { return handle_ == nullptr; }

  sqlite3* handle() const {
    if (!handle_)
      throw DbError(kClosed, "Object invalid or no longer set: the database is closed.");
    return handle_;
  }

  std::string Translate(std::string_view sql) const {
    static const SystemClock system_clock;
    const Clock& clock = clock_ ? *clock_ : system_clock;
    return jetsql::Translate(sql, jetsql::SqliteDialect(), {clock.Now().Year()});
  }

  Statement Prepare(std::string_view native_sql) const {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(handle(), native_sql.data(), static_cast<int>(native_sql.size()),
                                &statement, &tail);
    Statement owned(statement);
    if (rc != SQLITE_OK) {
      int number = ErrorNumberFor(sqlite3_extended_errcode(handle_));
      throw DbError(number == kGeneral ? kSqlSyntax : number,
                    std::string(sqlite3_errmsg(handle_)) + " in '" + std::string(native_sql) + "'");
    }
    if (!owned) throw DbError(kSqlSyntax, "The statement is empty.");
    return owned;
  }

  // Runs native SQL that returns no rows.
  void Exec(const std::string& native_sql) const {
    int rc = sqlite3_exec(handle(), native_sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(handle_, rc, "");
  }

  void Register(RecordsetBase* recordset) { open_.push_back(recordset); }
  void Unregister(RecordsetBase* recordset) { std::erase(open_, recordset); }

  void Close();

 private:
  std::string path_;
  FileLock lock_;
  bool exclusive_;
  sqlite3* handle_;
  const Clock* clock_;
  std::vector<RecordsetBase*> open_;
};

// Rows held in memory with a position on them, as both kinds of recordset navigate.
class RecordsetBase : public Recordset {
 public:
  explicit RecordsetBase(std::shared_ptr<Connection> connection)
      : connection_(std::move(connection)) {
    connection_->Register(this);
  }
  ~RecordsetBase() override {
    if (connection_) connection_->Unregister(this);
  }

  bool Eof() const override {
    EnsureRows();
    return RowCount() == 0 || position_ >= RowCount();
  }
  bool Bof() const override {
    EnsureRows();
    return RowCount() == 0 || position_ < 0;
  }
  void MoveFirst() override {
    LeaveRow();
    MoveTo(0);
  }
  void MoveLast() override {
    LeaveRow();
    EnsureRows();
    MoveTo(RowCount() - 1);
  }
  void MoveNext() override {
    LeaveRow();
    if (Eof()) NoCurrent();
    MoveTo(position_ + 1, /*allow_end=*/true);
  }
  void MovePrevious() override {
    LeaveRow();
    if (Bof()) NoCurrent();
    MoveTo(position_ - 1, /*allow_end=*/true);
  }

  int FieldCount() const override {
    CheckOpen();
    return static_cast<int>(names_.size());
  }
  std::string FieldName(int index) const override {
    CheckOpen();
    if (index < 0 || index >= FieldCount()) NotFound(std::to_string(index));
    return names_[index];
  }
  Value Field(std::string_view name) const override { return Field(IndexOf(name)); }
  Value Field(int index) const override {
    CheckOpen();
    if (index < 0 || index >= FieldCount()) NotFound(std::to_string(index));
    const Value* row = CurrentRow();
    if (!row) NoCurrent();
    return row[index];
  }

  void Close() override {
    if (!connection_) return;
    ReleaseStatements();
    connection_->Unregister(this);
    connection_.reset();
    rows_.clear();
  }

 protected:
  [[noreturn]] static void NoCurrent() { throw DbError(kNoCurrentRecord, "No current record."); }
  [[noreturn]] static void NotFound(std::string_view name) {
    throw DbError(kItemNotFound, "Item not found in this collection: '" + std::string(name) + "'.");
  }
  [[noreturn]] static void NotSupported() {
    throw DbError(kNotSupported, "Operation is not supported for this type of object.");
  }

  void CheckOpen() const {
    if (!connection_ || connection_->closed()) {
      throw DbError(kClosed, "Object invalid or no longer set: the recordset is closed.");
    }
  }

  int IndexOf(std::string_view name) const {
    CheckOpen();
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (EqualsNoCase(names_[i], name)) return static_cast<int>(i);
    }
    NotFound(name);
  }

  std::int64_t RowCount() const {
    return names_.empty() ? 0 : static_cast<std::int64_t>(rows_.size() / names_.size());
  }

  // Appends the current result row of a stepped statement to `rows`, from column `first` on.
  static void AppendRow(sqlite3_stmt* statement, int first, std::vector<Value>& rows) {
    for (int i = first; i < sqlite3_column_count(statement); ++i) {
      switch (sqlite3_column_type(statement, i)) {
        case SQLITE_INTEGER:
          rows.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(statement, i)));
          break;
        case SQLITE_FLOAT:
          rows.emplace_back(sqlite3_column_double(statement, i));
          break;
        case SQLITE_NULL:
          rows.emplace_back();
          break;
        default: {
          const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
          rows.emplace_back(std::string_view(text, sqlite3_column_bytes(statement, i)));
        }
      }
    }
  }

  // Reads every row of a statement into `rows` (and the first column into `rowids`), then
  // resets it so that it holds no lock. A failure part way leaves `rows` incomplete.
  void ReadAll(sqlite3_stmt* statement, int first_column, std::vector<Value>& rows,
               std::vector<std::int64_t>* rowids) const {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      if (rowids) rowids->push_back(sqlite3_column_int64(statement, 0));
      AppendRow(statement, first_column, rows);
    }
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) Fail(connection_->handle(), rc, "");
  }

  virtual void EnsureRows() const { CheckOpen(); }
  virtual const Value* CurrentRow() const {
    EnsureRows();
    if (position_ < 0 || position_ >= RowCount()) return nullptr;
    return &rows_[position_ * names_.size()];
  }
  virtual void ReleaseStatements() {}

  void MoveTo(std::int64_t position, bool allow_end = false) {
    EnsureRows();
    if (RowCount() == 0 && !allow_end) NoCurrent();
    position_ = std::clamp<std::int64_t>(position, -1, RowCount());
    if (position_ >= 0 && position_ < RowCount()) {
      furthest_ = std::max(furthest_, position_);
    }
    OnMoved();
  }
  virtual void OnMoved() {}
  // A move or a seek is starting: a row being edited or added would be written to the wrong
  // place, or past the end, so it is given up.
  virtual void LeaveRow() {}

  std::shared_ptr<Connection> connection_;
  std::vector<std::string> names_;
  mutable std::vector<Value> rows_;  // row-major
  std::int64_t position_ = 0;
  std::int64_t furthest_ = -1;
};

void Connection::Close() {
  while (!open_.empty()) open_.back()->Close();
  if (handle_) {
    sqlite3_close_v2(handle_);  // rolls back an open transaction
    handle_ = nullptr;
  }
  lock_.Release();
}

// A static copy of the rows of a query, taken when it is opened.
class SnapshotRecordset : public RecordsetBase {
 public:
  SnapshotRecordset(std::shared_ptr<Connection> connection, std::string_view sql)
      : RecordsetBase(std::move(connection)) {
    Statement statement = connection_->Prepare(connection_->Translate(sql));
    if (sqlite3_column_count(statement.get()) == 0) {
      // Stepping it would carry the action out.
      throw DbError(kActionQuery, "Cannot open an action query: '" + std::string(sql) + "'.");
    }
    for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
      names_.emplace_back(sqlite3_column_name(statement.get(), i));
    }
    ReadAll(statement.get(), 0, rows_, nullptr);
    if (RowCount() > 0) furthest_ = 0;
  }

  std::int64_t RecordCount() override {
    CheckOpen();
    return furthest_ + 1;
  }

  void AddNew() override { Unsupported(); }
  void Edit() override { Unsupported(); }
  void SetField(std::string_view, Value) override { Unsupported(); }
  void Update() override { Unsupported(); }
  void CancelUpdate() override { Unsupported(); }
  void SetIndex(std::string_view) override { Unsupported(); }
  void Seek(std::string_view, std::initializer_list<Value>) override { Unsupported(); }
  bool NoMatch() const override { Unsupported(); }

 private:
  // A closed snapshot says so before it says what it cannot do.
  [[noreturn]] void Unsupported() const {
    CheckOpen();
    NotSupported();
  }
};

// Binds a value. Text is copied unless the caller promises that the value outlives the next
// step of the statement (kKeep), as the row buffer of a table recordset does.
enum class TextLife { kCopy, kKeep };

void Bind(sqlite3* handle, sqlite3_stmt* statement, int index, const Value& value,
          TextLife life = TextLife::kCopy) {
  int rc = std::visit(
      [&](const auto& v) -> int {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return sqlite3_bind_null(statement, index);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return sqlite3_bind_int64(statement, index, v);
        } else if constexpr (std::is_same_v<T, double>) {
          return sqlite3_bind_double(statement, index, v);
        } else {
          return sqlite3_bind_text(statement, index, v.data(), static_cast<int>(v.size()),
                                   life == TextLife::kKeep ? SQLITE_STATIC : SQLITE_TRANSIENT);
        }
      },
      value.data());
  if (rc != SQLITE_OK) Fail(handle, rc, "");
}

// A whole table: appends through one prepared insert, seeks on a named index, edits by rowid.
// Rows are read only when the caller navigates, so a table opened to append costs nothing.
class TableRecordset : public RecordsetBase {
 public:
  TableRecordset(std::shared_ptr<Connection> connection, std::string_view table)
      : RecordsetBase(std::move(connection)), table_name_(table), table_(QuoteIdentifier(table)) {
    Statement info = connection_->Prepare("select name from pragma_table_info(?1)");
    Bind(connection_->handle(), info.get(), 1, Value(table));
    names_ = TextColumn(info.get());
    if (names_.empty()) {
      throw DbError(kItemNotFound, "Cannot find the table '" + std::string(table) + "'.");
    }
  }

  std::int64_t RecordCount() override {
    CheckOpen();
    Statement count = connection_->Prepare("select count(*) from " + table_);
    int rc = sqlite3_step(count.get());
    if (rc != SQLITE_ROW) Fail(connection_->handle(), rc, "counting the rows of " + table_);
    return sqlite3_column_int64(count.get(), 0);
  }

  void AddNew() override {
    CheckOpen();
    buffer_.assign(names_.size(), Value());
    mode_ = Mode::kAdding;
  }

  void Edit() override {
    const Value* row = CurrentRow();
    if (!row) NoCurrent();
    buffer_.assign(row, row + names_.size());
    edit_rowid_ = CurrentRowid();
    mode_ = Mode::kEditing;
  }

  void SetField(std::string_view name, Value value) override {
    int index = IndexOf(name);
    if (mode_ == Mode::kNone) {
      throw DbError(kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit.");
    }
    buffer_[index] = std::move(value);
  }

  void Update() override {
    CheckOpen();
    sqlite3* handle = connection_->handle();
    sqlite3_stmt* statement;
    if (mode_ == Mode::kAdding) {
      if (!insert_) insert_ = PrepareInsert();
      statement = insert_.get();
    } else if (mode_ == Mode::kEditing) {
      if (!update_) update_ = PrepareUpdate();
      statement = update_.get();
      Bind(handle, statement, static_cast<int>(names_.size()) + 1, Value(edit_rowid_));
    } else {
      throw DbError(kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit.");
    }
    for (std::size_t i = 0; i < buffer_.size(); ++i) {
      Bind(handle, statement, static_cast<int>(i) + 1, buffer_[i], TextLife::kKeep);
    }
    int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    // A failed update keeps the row, so that the caller may try the same update again.
    if (rc != SQLITE_DONE) Fail(handle, rc, "in table " + table_);
    if (mode_ == Mode::kEditing) {
      KeepEditedRow();
    } else {
      loaded_ = false;  // the rows read before lack the new one
    }
    mode_ = Mode::kNone;
  }

  void CancelUpdate() override {
    CheckOpen();
    if (mode_ == Mode::kNone) {
      throw DbError(kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit.");
    }
    mode_ = Mode::kNone;
  }

  void SetIndex(std::string_view name) override {
    CheckOpen();
    std::string sqlite_name = table_name_ + "_" + std::string(name);
    Statement list = connection_->Prepare(
        "select i.name from pragma_index_list(?1) l join pragma_index_info(l.name) i "
        "where l.name = ?2 collate nocase order by i.seqno");
    Bind(connection_->handle(), list.get(), 1, Value(table_name_));
    Bind(connection_->handle(), list.get(), 2, Value(sqlite_name));
    std::vector<std::string> columns = TextColumn(list.get());
    if (columns.empty()) NotFound(name);
    index_columns_ = std::move(columns);
    loaded_ = false;
  }

  void Seek(std::string_view comparison, std::initializer_list<Value> key) override {
    LeaveRow();
    CheckOpen();
    if (index_columns_.empty()) {
      throw DbError(kNoCurrentIndex, "Operation invalid without a current index.");
    }
    static const std::string_view kComparisons[] = {"=", "<", "<=", ">", ">="};
    if (std::find(std::begin(kComparisons), std::end(kComparisons), comparison) ==
            std::end(kComparisons) ||
        key.size() == 0 || key.size() > index_columns_.size()) {
      throw DbError(kSqlSyntax, "Invalid Seek: comparison '" + std::string(comparison) + "' with " +
                                    std::to_string(key.size()) + " key values.");
    }
    std::string left = "(", right = "(", order;
    for (std::size_t i = 0; i < key.size(); ++i) {
      left += (i ? "," : "") + QuoteIdentifier(index_columns_[i]);
      right += i ? ",?" : "?";
    }
    bool backwards = comparison[0] == '<';
    for (std::size_t i = 0; i < index_columns_.size(); ++i) {
      order += (i ? ", " : "") + QuoteIdentifier(index_columns_[i]) + (backwards ? " desc" : "");
    }
    Statement seek = connection_->Prepare("select rowid, * from " + table_ + " where " + left +
                                          ") " + std::string(comparison) + " " + right +
                                          ") order by " + order + " limit 1");
    int i = 1;
    for (const Value& value : key) Bind(connection_->handle(), seek.get(), i++, value);
    // Read aside, so that a seek that fails (a busy file) leaves the current row as it was.
    std::vector<Value> row;
    std::vector<std::int64_t> rowid;
    ReadAll(seek.get(), 1, row, &rowid);
    seek_row_ = std::move(row);
    seek_rowid_ = std::move(rowid);
    no_match_ = seek_rowid_.empty();
    on_seek_row_ = true;
    loaded_ = false;  // navigation goes on from the row found, in index order
  }

  bool NoMatch() const override {
    CheckOpen();
    return no_match_;
  }

 protected:
  void EnsureRows() const override {
    CheckOpen();
    if (loaded_) return;
    auto* self = const_cast<TableRecordset*>(this);
    std::string order;
    for (std::size_t i = 0; i < index_columns_.size(); ++i) {
      order += (i ? ", " : " order by ") + QuoteIdentifier(index_columns_[i]);
    }
    Statement all = connection_->Prepare("select rowid, * from " + table_ + order);
    self->rows_.clear();
    self->rowids_.clear();
    ReadAll(all.get(), 1, self->rows_, &self->rowids_);
    self->loaded_ = true;
    if (on_seek_row_) {
      // Continue from the row found by Seek, in index order.
      auto found =
          std::find(rowids_.begin(), rowids_.end(), seek_rowid_.empty() ? -1 : seek_rowid_.front());
      self->position_ = found - rowids_.begin();
      if (found == rowids_.end()) self->position_ = RowCount();
      self->on_seek_row_ = false;
    }
  }

  const Value* CurrentRow() const override {
    if (on_seek_row_) {
      CheckOpen();
      return seek_rowid_.empty() ? nullptr : seek_row_.data();
    }
    return RecordsetBase::CurrentRow();
  }

  void OnMoved() override { no_match_ = false; }
  void LeaveRow() override { mode_ = Mode::kNone; }

  void ReleaseStatements() override {
    insert_.reset();
    update_.reset();
  }

 private:
  enum class Mode { kNone, kAdding, kEditing };

  std::int64_t CurrentRowid() const {
    if (on_seek_row_) return seek_rowid_.front();
    return rowids_[position_];
  }

  // The first column of every row of a statement, as text.
  std::vector<std::string> TextColumn(sqlite3_stmt* statement) const {
    std::vector<std::string> values;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      values.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    if (rc != SQLITE_DONE) Fail(connection_->handle(), rc, "reading the schema of " + table_);
    return values;
  }

  // Puts the row just written into the rows held in memory, where it is the current row; the
  // rows are read again otherwise (SetIndex reordered them since Edit).
  void KeepEditedRow() {
    Value* row = nullptr;
    if (on_seek_row_) {
      if (!seek_rowid_.empty() && seek_rowid_.front() == edit_rowid_) row = seek_row_.data();
    } else if (loaded_ && position_ >= 0 && position_ < RowCount() &&
               rowids_[position_] == edit_rowid_) {
      row = &rows_[position_ * names_.size()];
    }
    if (row) {
      std::copy(buffer_.begin(), buffer_.end(), row);
    } else {
      loaded_ = false;
    }
  }

  Statement PrepareInsert() const {
    std::string columns, values;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      columns += (i ? ", " : "") + QuoteIdentifier(names_[i]);
      values += i ? ", ?" : "?";
    }
    return connection_->Prepare("insert into " + table_ + " (" + columns + ") values (" + values +
                                ")");
  }

  Statement PrepareUpdate() const {
    std::string assignments;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      assignments += (i ? ", " : "") + QuoteIdentifier(names_[i]) + " = ?";
    }
    return connection_->Prepare("update " + table_ + " set " + assignments + " where rowid = ?");
  }

  std::string table_name_;
  std::string table_;  // quoted
  std::vector<std::string> index_columns_;
  std::vector<Value> buffer_;
  Mode mode_ = Mode::kNone;
  std::int64_t edit_rowid_ = 0;  // the row that Edit began to change
  Statement insert_;
  Statement update_;
  mutable bool loaded_ = false;
  std::vector<std::int64_t> rowids_;
  std::vector<Value> seek_row_;
  std::vector<std::int64_t> seek_rowid_;
  bool on_seek_row_ = false;
  bool no_match_ = false;
};

void FsyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    int error = errno;
    if (fd >= 0) ::close(fd);
    throw DbError(kGeneral, "Could not write '" + path + "': " + std::strerror(error));
  }
  ::close(fd);
}

// Deletes a copy that failed, with the journal its analysis may have left when the failure came
// at its commit.
void RemoveCopy(const std::string& path) {
  ::unlink(path.c_str());
  ::unlink((path + "-journal").c_str());
}

// Measures the statistics of every index on about a thousand of its rows: enough for the
// planner's choices, and a matter of milliseconds on a file of many gigabytes.
constexpr char kSampledAnalysis[] =
    "pragma analysis_limit = 1000; analyze; pragma analysis_limit = 0";

// Gives a fresh compacted copy, which nobody else can know of yet, its planner statistics.
// Without them the planner cannot know that a parent's rows span hundreds of periods, and
// answers "children of one parent in two periods" from the (parent, name) index, reading every
// period of the parent instead of the two asked for. A sampled analysis costs little even on a
// large file. The file being compacted stays as it was.
void AnalyzeCopy(const std::string& path) {
  sqlite3* handle = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(handle, kSampledAnalysis, nullptr, nullptr, nullptr);
  std::string message = handle ? sqlite3_errmsg(handle) : "out of memory";
  int extended = handle ? sqlite3_extended_errcode(handle) : rc;
  sqlite3_close(handle);
  if (rc != SQLITE_OK) {
    throw DbError(ErrorNumberFor(extended), "Could not analyse '" + path + "': " + message);
  }
}

// The first problem a structural check of every page finds; empty for a sound file. The check
// leaves out whether index entries match their rows: a compaction rebuilds every index from
// its table anyway, and the full check costs several times the compaction on a large file.
std::string IntegrityProblem(Connection& connection) {
  Statement check = connection.Prepare("pragma quick_check(1)");
  int rc = sqlite3_step(check.get());
  if (rc != SQLITE_ROW) {
    if (ErrorNumberFor(rc) == kDamaged) return sqlite3_errmsg(connection.handle());
    Fail(connection.handle(), rc, "checking '" + connection.path() + "'");
  }
  std::string result = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
  if (result == "ok") return "";
  // The report spans lines ("*** in database main ***" first); an error text must not.
  std::replace(result.begin(), result.end(), '\n', ' ');
  return result;
}

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(std::shared_ptr<Connection> connection)
      : connection_(std::move(connection)) {}
  ~SqliteDatabase() override { Close(); }

  std::unique_ptr<Recordset> OpenRecordset(std::string_view source, RecordsetType type) override {
    Live();
    if (type == RecordsetType::kTable) {
      return std::make_unique<TableRecordset>(connection_, source);
    }
    return std::make_unique<SnapshotRecordset>(connection_, source);
  }

  void Execute(std::string_view sql, int /*options*/) override {
    // Every statement is atomic here: it changes all its rows or none, and any failure is
    // reported, with or without kFailOnError.
    Statement statement = Live().Prepare(connection_->Translate(sql));
    if (sqlite3_column_count(statement.get()) > 0) {
      throw DbError(kSqlSyntax, "Cannot execute a select query: '" + std::string(sql) + "'.");
    }
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) Fail(connection_->handle(), rc, "");
    affected_ = sqlite3_changes64(connection_->handle());
  }

  std::int64_t RecordsAffected() const override {
    Live();
    return affected_;
  }
  std::string Name() const override { return Live().path(); }

  void Repair() override {
    Connection& connection = Exclusive("repaired");
    std::string problem = IntegrityProblem(connection);
    if (problem.empty()) return;
    // Damaged indexes can be rebuilt from their tables; anything else is beyond repair here.
    // A reindex that fails rolls back, and the check that follows says what is wrong, unless
    // it failed only because a program outside the suite had the file busy.
    int rc = sqlite3_exec(connection.handle(), "reindex", nullptr, nullptr, nullptr);
    if (ErrorNumberFor(rc) == kLocked) {
      Fail(connection.handle(), rc, "repairing '" + connection.path() + "'");
    }
    problem = IntegrityProblem(connection);
    if (!problem.empty()) {
      throw DbError(kDamaged, "The database '" + connection.path() + "' is damaged: " + problem);
    }
  }

  void CompactInto(const std::string& destination) override {
    Connection& connection = Exclusive("compacted");
    if (StatusOf(destination).exists) {
      throw DbError(kDatabaseExists, "Database '" + destination + "' already exists.");
    }
    Statement vacuum = connection.Prepare("vacuum into ?1");
    Bind(connection.handle(), vacuum.get(), 1, Value(destination));
    int rc = sqlite3_step(vacuum.get());
    if (rc != SQLITE_DONE) {
      RemoveCopy(destination);
      Fail(connection.handle(), rc,
           "compacting '" + connection.path() + "' into '" + destination + "'");
    }
    // The copy is written without syncs; it must be on the disk before it replaces anything.
    try {
      AnalyzeCopy(destination);
      FsyncFile(destination);
    } catch (const DbError&) {
      RemoveCopy(destination);
      throw;
    }
  }

  void UpdateStatistics() override { Live().Exec(kSampledAnalysis); }

  void Close() override {
    if (connection_) connection_->Close();
    connection_.reset();
  }

 private:
  Connection& Live() const {
    if (!connection_ || connection_->closed()) {
      throw DbError(kClosed, "Object invalid or no longer set: the database is closed.");
    }
    return *connection_;
  }

  // A shared open cannot promise that nobody writes while the file is checked or copied.
  Connection& Exclusive(std::string_view done) const {
    Connection& connection = Live();
    if (!connection.exclusive()) {
      throw DbError(kNotSupported, "The database '" + connection.path() + "' can only be " +
                                       std::string(done) + " when it is opened exclusively.");
    }
    return connection;
  }

  std::shared_ptr<Connection> connection_;
  std::int64_t affected_ = 0;
};

// Opens the SQLite handle of a database file under its lock and checks that it is one.
std::shared_ptr<Connection> Connect(const std::string& path, bool exclusive,
                                    const SqliteOptions& options) {
  FileLock lock =
      FileLock::Acquire(path, exclusive ? FileLock::Mode::kExclusive : FileLock::Mode::kShared);
  sqlite3* handle = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto connection =
      std::make_shared<Connection>(path, std::move(lock), exclusive, handle, options.clock);
  if (rc != SQLITE_OK) Fail(handle, rc, "opening '" + path + "'");
  sqlite3_extended_result_codes(handle, 1);
  sqlite3_busy_timeout(handle, options.busy_timeout_ms);
  rc = jetsql::InstallSqliteCollations(handle);
  if (rc == SQLITE_OK) {
    rc =
        sqlite3_create_collation_v2(handle, "NOCASE", SQLITE_UTF8, nullptr, CompareNoCase, nullptr);
  }
  if (rc != SQLITE_OK) Fail(handle, rc, "opening '" + path + "'");
  // The first read notices a file that is no database at all; opening alone does not.
  rc = sqlite3_exec(handle, "select count(*) from sqlite_schema", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if (ErrorNumberFor(rc) == kDamaged) {
      throw DbError(kDamaged, "Unrecognized database format '" + path + "'.");
    }
    Fail(handle, rc, "opening '" + path + "'");
  }
  // A rollback journal, since write-ahead logging does not work on network shares; synchronous
  // writes so that a committed scan survives a crash of the node.
  connection->Exec("pragma synchronous = full");
  if (sqlite3_exec(handle, "pragma journal_mode = delete", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    // Another connection has the file open in another journal mode; it keeps its own.
  }
  return connection;
}

class SqliteWorkspace : public Workspace {
 public:
  explicit SqliteWorkspace(const SqliteOptions& options) : options_(options) {}

  std::unique_ptr<Database> OpenDatabase(const std::string& path, bool exclusive) override {
    RequireDatabaseFile(path);
    auto connection = Connect(path, exclusive, options_);
    std::erase_if(connections_, [](const auto& weak) { return weak.expired(); });
    connections_.push_back(connection);
    return std::make_unique<SqliteDatabase>(std::move(connection));
  }

  void BeginTrans() override {
    auto live = Live();
    if (depth_ == 0) {
      for (std::size_t i = 0; i < live.size(); ++i) {
        int rc = sqlite3_exec(live[i]->handle(), "begin immediate", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
          for (std::size_t j = 0; j < i; ++j) live[j]->Exec("rollback");
          Fail(live[i]->handle(), rc, "while beginning a transaction on '" + live[i]->path() + "'");
        }
      }
    } else {
      // SQLite rolls a whole transaction back after some failures (a full disk, an I/O error);
      // a savepoint then would begin a transaction of its own and commit at its release, so
      // that what belongs together would be stored in pieces.
      for (auto& c : live) {
        if (sqlite3_get_autocommit(c->handle())) {
          throw DbError(kGeneral, "The transaction on '" + c->path() +
                                      "' was rolled back after an earlier error.");
        }
      }
      for (auto& c : live) c->Exec("savepoint level" + std::to_string(depth_));
    }
    ++depth_;
  }

  void CommitTrans() override {
    RequireTransaction();
    auto live = Live();
    if (depth_ == 1) {
      // A commit that finds the file busy leaves the transaction open, so it may be retried.
      for (auto& c : live) c->Exec("commit");
    } else {
      for (auto& c : live) c->Exec("release level" + std::to_string(depth_ - 1));
    }
    --depth_;
  }

  void Rollback() override {
    RequireTransaction();
    auto live = Live();
    --depth_;
    for (auto& c : live) {
      if (sqlite3_get_autocommit(c->handle())) {
        // Rolled back already, savepoints and all.
      } else if (depth_ == 0) {
        c->Exec("rollback");
      } else {
        std::string name = "level" + std::to_string(depth_);
        c->Exec("rollback to " + name + "; release " + name);
      }
    }
  }

  void Close() override {
    for (auto& c : Live()) c->Close();
    connections_.clear();
    depth_ = 0;
  }

 private:
  std::vector<std::shared_ptr<Connection>> Live() {
    std::vector<std::shared_ptr<Connection>> live;
    for (auto& weak : connections_) {
      if (auto c = weak.lock(); c && !c->closed()) live.push_back(std::move(c));
    }
    if (live.empty() && depth_ > 0) depth_ = 0;  // the databases closed under the transaction
    return live;
  }

  void RequireTransaction() {
    Live();
    if (depth_ == 0) {
      throw DbError(kNoTransaction,
                    "You tried to commit or rollback a transaction without first beginning one.");
    }
  }

  SqliteOptions options_;
  std::vector<std::weak_ptr<Connection>> connections_;
  int depth_ = 0;
};

std::string ColumnSql(const ColumnDef& column) {
  std::string name = QuoteIdentifier(column.name);
  std::string sql = name;
  switch (column.type) {
    case ColumnType::kText:
      sql += " text collate nocase";
      break;
    case ColumnType::kDateTime:
      sql += " text check (" + name +
             " glob '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]')";
      break;
    case ColumnType::kCurrency:
      sql += " integer";
      break;
    case ColumnType::kLong:
      sql += " integer check (" + name + " between -2147483648 and 2147483647)";
      break;
  }
  if (column.required) sql += " not null";
  return sql;
}

// Statements that give a new file the typical statistics of its indexes, so that its planner
// chooses as it would on a large file from the start rather than guessing until the file is
// first measured. Analysing the empty tables makes the table the statistics live in; reading
// it back makes the planner take them up. Typical figures are no measure of how many values a
// leading column really holds, so they never let the planner skip through an index on its
// leading column (the tree of a large file took ten times longer so).
std::string TypicalStatisticsSql(const Schema& schema) {
  std::string rows;
  for (const IndexDef& index : schema.indexes) {
    if (index.typical_rows.empty()) continue;
    std::string stat;
    for (std::int64_t count : index.typical_rows)
      stat += (stat.empty() ? "" : " ") + std::to_string(count);
    rows += std::string(rows.empty() ? "" : ", ") + "(" + QuoteText(index.table) + ", " +
            QuoteText(index.table + "_" + index.name) + ", " + QuoteText(stat + " noskipscan") +
            ")";
  }
  if (rows.empty()) return "";
  return "analyze;\ninsert into sqlite_stat1 (tbl, idx, stat) values " + rows +
         ";\nanalyze sqlite_schema;\n";
}

class SqliteEngine : public Engine {
 public:
  explicit SqliteEngine(const SqliteOptions& options) : options_(options), workspace_(options) {}

  Workspace& DefaultWorkspace() override { return workspace_; }

  std::unique_ptr<Database> CreateDatabase(const std::string& path, const Schema& schema) override {
    // Creating the file first, exclusively, refuses to overwrite even a file that appears
    // between a check and the write.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST)
        throw DbError(kDatabaseExists, "Database '" + path + "' already exists.");
      throw DbError(kCannotOpen, "Could not create '" + path + "': " + std::strerror(errno));
    }
    ::close(fd);
    try {
      auto connection = Connect(path, /*exclusive=*/true, options_);
      std::string sql = "begin;\n";
      for (const TableDef& table : schema.tables) {
        sql += "create table " + QuoteIdentifier(table.name) + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
          sql += (i ? ", " : "") + ColumnSql(table.columns[i]);
        }
        sql += ") strict;\n";
      }
      for (const IndexDef& index : schema.indexes) {
        sql += std::string("create ") + (index.unique ? "unique " : "") + "index " +
               QuoteIdentifier(index.table + "_" + index.name) + " on " +
               QuoteIdentifier(index.table) + " (";
        for (std::size_t i = 0; i < index.columns.size(); ++i) {
          sql += (i ? ", " : "") + QuoteIdentifier(index.columns[i]);
        }
        sql += ");\n";
      }
      connection->Exec(sql + TypicalStatisticsSql(schema) + "commit;");
      return std::make_unique<SqliteDatabase>(std::move(connection));
    } catch (...) {
      ::unlink(path.c_str());
      ::unlink(FileLock::LockPathFor(path).c_str());
      throw;
    }
  }

  void RepairDatabase(const std::string& path) override {
    RequireDatabaseFile(path);
    SqliteDatabase(Connect(path, /*exclusive=*/true, options_)).Repair();
  }

  void CompactDatabase(const std::string& source, const std::string& destination) override {
    RequireDatabaseFile(source);
    if (StatusOf(destination).exists) {
      throw DbError(kDatabaseExists, "Database '" + destination + "' already exists.");
    }
    SqliteDatabase(Connect(source, /*exclusive=*/true, options_)).CompactInto(destination);
  }

 private:
  SqliteOptions options_;
  SqliteWorkspace workspace_;
};

}  // namespace

std::unique_ptr<Engine> MakeSqliteEngine(const SqliteOptions& options) {
  return std::make_unique<SqliteEngine>(options);
}

}  // namespace brontal::db
