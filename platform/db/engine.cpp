// The programs' database API over the backends: recordsets held in memory with a position on
// them, table recordsets that append, seek and edit through prepared statements, the workspace's
// nested transactions.
#include "platform/db/engine.h"

#include <algorithm>
#include <utility>

#include "platform/db/jetsql/translate.h"

namespace brontal::db {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

[[noreturn]] void Closed(std::string_view what) {
  throw DbError(kClosed,
                "Object invalid or no longer set: the " + std::string(what) + " is closed.");
}

class RecordsetBase;

// One open database: the backend's connection and the recordsets open on it.
class Link {
 public:
  Link(std::unique_ptr<BackendConnection> connection, const Clock* clock)
      : connection_(std::move(connection)), clock_(clock) {}
  ~Link() { Close(); }

  bool closed() const { return connection_->Closed(); }
  BackendConnection& connection() const {
    if (closed()) Closed("database");
    return *connection_;
  }

  std::string Translate(std::string_view sql) const {
    static const SystemClock system_clock;
    const Clock& clock = clock_ ? *clock_ : system_clock;
    return jetsql::Translate(sql, connection().Dialect(), {clock.Now().Year()});
  }

  std::unique_ptr<BackendStatement> Prepare(std::string_view native_sql) const {
    return connection().Prepare(native_sql);
  }
  std::string Identifier(std::string_view name) const {
    return connection().Dialect().Identifier(name);
  }

  void Register(RecordsetBase* recordset) { open_.push_back(recordset); }
  void Unregister(RecordsetBase* recordset) { std::erase(open_, recordset); }

  void Close();

 private:
  std::unique_ptr<BackendConnection> connection_;
  const Clock* clock_;
  std::vector<RecordsetBase*> open_;
};

// Runs a statement to its end, reading every row into `rows` from column `first` on (and the
// first column into `rowids` when asked), then resets it so that it holds no lock. A failure
// part way leaves `rows` incomplete.
void ReadAll(BackendStatement& statement, int first, std::vector<Value>& rows,
             std::vector<Value>* rowids) {
  try {
    while (statement.Step()) {
      if (rowids) rowids->push_back(statement.Column(0));
      statement.AppendColumns(first, rows);
    }
  } catch (...) {
    statement.Reset();
    throw;
  }
  statement.Reset();
}

// Rows held in memory with a position on them, as both kinds of recordset navigate.
class RecordsetBase : public Recordset {
 public:
  explicit RecordsetBase(std::shared_ptr<Link> link) : link_(std::move(link)) {
    link_->Register(this);
  }
  ~RecordsetBase() override {
    if (link_) link_->Unregister(this);
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
    if (!link_) return;
    ReleaseStatements();
    link_->Unregister(this);
    link_.reset();
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
    if (!link_ || link_->closed()) Closed("recordset");
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

  std::shared_ptr<Link> link_;
  std::vector<std::string> names_;
  mutable std::vector<Value> rows_;  // row-major
  std::int64_t position_ = 0;
  std::int64_t furthest_ = -1;
};

void Link::Close() {
  while (!open_.empty()) open_.back()->Close();
  if (!connection_->Closed()) connection_->Close();  // rolls back an open transaction
}

// A static copy of the rows of a query, taken when it is opened.
class SnapshotRecordset : public RecordsetBase {
 public:
  SnapshotRecordset(std::shared_ptr<Link> link, std::string_view sql)
      : RecordsetBase(std::move(link)) {
    auto statement = link_->Prepare(link_->Translate(sql));
    if (statement->ColumnCount() == 0) {
      // Stepping it would carry the action out.
      throw DbError(kActionQuery, "Cannot open an action query: '" + std::string(sql) + "'.");
    }
    for (int i = 0; i < statement->ColumnCount(); ++i) {
      names_.push_back(statement->ColumnName(i));
    }
    ReadAll(*statement, 0, rows_, nullptr);
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

// A whole table: appends through one prepared insert, seeks on a named index, edits by the
// backend's row id. Rows are read only when the caller navigates, so a table opened to append
// costs nothing.
class TableRecordset : public RecordsetBase {
 public:
  TableRecordset(std::shared_ptr<Link> link, std::string_view table)
      : RecordsetBase(std::move(link)), table_name_(table), table_(link_->Identifier(table)) {
    names_ = link_->connection().TableColumns(table);
    if (names_.empty()) {
      throw DbError(kItemNotFound, "Cannot find the table '" + std::string(table) + "'.");
    }
  }

  std::int64_t RecordCount() override {
    CheckOpen();
    auto count = link_->Prepare("select count(*) from " + table_);
    std::vector<Value> row;
    ReadAll(*count, 0, row, nullptr);
    return row.empty() ? 0 : row.front().AsInt64();
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
    BackendStatement* statement;
    if (mode_ == Mode::kAdding) {
      if (!insert_) insert_ = PrepareInsert();
      statement = insert_.get();
    } else if (mode_ == Mode::kEditing) {
      if (!update_) update_ = PrepareUpdate();
      statement = update_.get();
      statement->Bind(static_cast<int>(names_.size()) + 1, edit_rowid_);
    } else {
      throw DbError(kUpdateWithoutAddNew, "Update or CancelUpdate without AddNew or Edit.");
    }
    for (std::size_t i = 0; i < buffer_.size(); ++i) {
      statement->Bind(static_cast<int>(i) + 1, buffer_[i]);
    }
    // A failed update keeps the row, so that the caller may try the same update again.
    std::vector<Value> moved_to;
    ReadAll(*statement, 0, moved_to, nullptr);
    if (mode_ == Mode::kEditing && statement->Changes() == 0) {
      // Another program deleted the row since Edit, or changed it where a change moves a row
      // (PostgreSQL): writing nothing without a word would lose the edit. As for a conflict
      // between two writers, the caller reads the row again and retries.
      loaded_ = false;
      throw DbError(kLocked, "The row being edited was changed or deleted by another program.");
    }
    if (mode_ == Mode::kEditing) {
      KeepEditedRow(moved_to.empty() ? edit_rowid_ : moved_to.front());
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
    std::vector<std::string> columns = link_->connection().IndexColumns(table_name_, name);
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
    BackendConnection& connection = link_->connection();
    std::string left = "(", right = "(";
    for (std::size_t i = 0; i < key.size(); ++i) {
      left += (i ? "," : "") + link_->Identifier(index_columns_[i]);
      right += (i ? "," : "") + connection.Parameter(static_cast<int>(i) + 1);
    }
    const bool backwards = comparison[0] == '<';
    auto seek = link_->Prepare("select " + connection.RowIdColumn() + ", * from " + table_ +
                               " where " + left + ") " + std::string(comparison) + " " + right +
                               ")" + Order(backwards) + " limit 1");
    int i = 1;
    for (const Value& value : key) seek->Bind(i++, value);
    // Read aside, so that a seek that fails (a busy file) leaves the current row as it was.
    std::vector<Value> row, rowid;
    ReadAll(*seek, 1, row, &rowid);
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
    auto all = link_->Prepare("select " + link_->connection().RowIdColumn() + ", * from " + table_ +
                              Order(false));
    self->rows_.clear();
    self->rowids_.clear();
    ReadAll(*all, 1, self->rows_, &self->rowids_);
    self->loaded_ = true;
    if (on_seek_row_) {
      // Continue from the row found by Seek, in index order.
      auto found = seek_rowid_.empty()
                       ? rowids_.end()
                       : std::find(rowids_.begin(), rowids_.end(), seek_rowid_.front());
      self->position_ = found - rowids_.begin();
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

  // " order by" the columns of the current index, descending when `backwards`; empty without
  // one.
  std::string Order(bool backwards) const {
    std::string order;
    for (std::size_t i = 0; i < index_columns_.size(); ++i) {
      order += (i ? ", " : " order by ") + link_->Identifier(index_columns_[i]) +
               (backwards ? " desc" : "");
    }
    return order;
  }

  Value CurrentRowid() const {
    if (on_seek_row_) return seek_rowid_.front();
    return rowids_[position_];
  }

  // Puts the row just written into the rows held in memory, where it is the current row, under
  // the row id it has now; the rows are read again otherwise (SetIndex reordered them since
  // Edit).
  void KeepEditedRow(const Value& rowid_now) {
    Value* row = nullptr;
    if (on_seek_row_) {
      if (!seek_rowid_.empty() && seek_rowid_.front() == edit_rowid_) {
        row = seek_row_.data();
        seek_rowid_.front() = rowid_now;
      }
    } else if (loaded_ && position_ >= 0 && position_ < RowCount() &&
               rowids_[position_] == edit_rowid_) {
      row = &rows_[position_ * names_.size()];
      rowids_[position_] = rowid_now;
    }
    if (row) {
      std::copy(buffer_.begin(), buffer_.end(), row);
    } else {
      loaded_ = false;
    }
  }

  std::unique_ptr<BackendStatement> PrepareInsert() const {
    BackendConnection& connection = link_->connection();
    std::string columns, values;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      columns += (i ? ", " : "") + link_->Identifier(names_[i]);
      values += (i ? ", " : "") + connection.Parameter(static_cast<int>(i) + 1);
    }
    return link_->Prepare("insert into " + table_ + " (" + columns + ") values (" + values + ")");
  }

  std::unique_ptr<BackendStatement> PrepareUpdate() const {
    BackendConnection& connection = link_->connection();
    std::string assignments;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      assignments += (i ? ", " : "") + link_->Identifier(names_[i]) + " = " +
                     connection.Parameter(static_cast<int>(i) + 1);
    }
    return link_->Prepare(
        "update " + table_ + " set " + assignments + " where " + connection.RowIdColumn() + " = " +
        connection.Parameter(static_cast<int>(names_.size()) + 1) + connection.ReturningRowId());
  }

  std::string table_name_;
  std::string table_;  // quoted
  std::vector<std::string> index_columns_;
  std::vector<Value> buffer_;
  Mode mode_ = Mode::kNone;
  Value edit_rowid_;  // the row that Edit began to change
  std::unique_ptr<BackendStatement> insert_;
  std::unique_ptr<BackendStatement> update_;
  mutable bool loaded_ = false;
  std::vector<Value> rowids_;
  std::vector<Value> seek_row_;
  std::vector<Value> seek_rowid_;
  bool on_seek_row_ = false;
  bool no_match_ = false;
};

class EngineDatabase : public Database {
 public:
  explicit EngineDatabase(std::shared_ptr<Link> link) : link_(std::move(link)) {}
  ~EngineDatabase() override { Close(); }

  std::unique_ptr<Recordset> OpenRecordset(std::string_view source, RecordsetType type) override {
    Live();
    if (type == RecordsetType::kTable) return std::make_unique<TableRecordset>(link_, source);
    return std::make_unique<SnapshotRecordset>(link_, source);
  }

  void Execute(std::string_view sql, int /*options*/) override {
    // Every statement is atomic here: it changes all its rows or none, and any failure is
    // reported, with or without kFailOnError.
    auto statement = Live().Prepare(link_->Translate(sql));
    if (statement->ColumnCount() > 0) {
      throw DbError(kSqlSyntax, "Cannot execute a select query: '" + std::string(sql) + "'.");
    }
    std::vector<Value> none;
    ReadAll(*statement, 0, none, nullptr);
    affected_ = statement->Changes();
  }

  void AppendRows(std::string_view table, const std::vector<std::string>& columns,
                  const std::vector<Value>& rows) override {
    Link& link = Live();
    if (columns.empty() || rows.size() % columns.size() != 0) {
      throw DbError(kGeneral, "Rows for " + std::string(table) + " must hold " +
                                  std::to_string(columns.size()) + " values each.");
    }
    if (rows.empty()) return;
    BackendConnection& connection = link.connection();
    // The errors of a table recordset, for a table or a field it does not have.
    const std::vector<std::string> known = connection.TableColumns(table);
    if (known.empty()) {
      throw DbError(kItemNotFound, "Cannot find the table '" + std::string(table) + "'.");
    }
    for (const std::string& column : columns) {
      if (std::none_of(known.begin(), known.end(),
                       [&](const std::string& name) { return EqualsNoCase(name, column); })) {
        throw DbError(kItemNotFound, "Item not found in this collection: '" + column + "'.");
      }
    }
    std::string names, values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      names += (i ? ", " : "") + link.Identifier(columns[i]);
      values += (i ? ", " : "") + connection.Parameter(static_cast<int>(i) + 1);
    }
    auto insert = link.Prepare("insert into " + link.Identifier(table) + " (" + names +
                               ") values (" + values + ")");
    connection.AppendRows(table, columns, rows, *insert);
  }

  std::int64_t RecordsAffected() const override {
    Live();
    return affected_;
  }
  std::string Name() const override { return Live().connection().Name(); }

  void Repair() override { Exclusive("repaired").Repair(); }
  void CompactInto(const std::string& destination) override {
    Exclusive("compacted").CompactInto(destination);
  }
  void UpdateStatistics() override { Live().connection().UpdateStatistics(); }
  bool CompactsInPlace() const override { return Live().connection().CompactsInPlace(); }
  void CompactInPlace() override { Exclusive("compacted").CompactInPlace(); }
  std::string RepairNote() const override { return Live().connection().LastRepairNote(); }

  void Close() override {
    if (link_) link_->Close();
    link_.reset();
  }

 private:
  Link& Live() const {
    if (!link_ || link_->closed()) Closed("database");
    return *link_;
  }

  // A shared open cannot promise that nobody writes while the database is checked or copied.
  BackendConnection& Exclusive(std::string_view done) const {
    BackendConnection& connection = Live().connection();
    if (!connection.Exclusive()) {
      throw DbError(kNotSupported, "The database '" + connection.Name() + "' can only be " +
                                       std::string(done) + " when it is opened exclusively.");
    }
    return connection;
  }

  std::shared_ptr<Link> link_;
  std::int64_t affected_ = 0;
};

class EngineWorkspace : public Workspace {
 public:
  EngineWorkspace(const std::vector<std::unique_ptr<Backend>>& backends, const Clock* clock)
      : backends_(backends), clock_(clock) {}

  Backend& BackendFor(const std::string& location) const {
    for (const auto& backend : backends_) {
      if (backend->Handles(location)) return *backend;
    }
    throw DbError(kCannotOpen, "No database engine here can open '" + location + "'.");
  }

  // The database of a connection; its transactions are this workspace's when `joined`.
  std::unique_ptr<Database> Adopt(std::unique_ptr<BackendConnection> connection, bool joined) {
    auto link = std::make_shared<Link>(std::move(connection), clock_);
    if (joined) {
      std::erase_if(links_, [](const auto& weak) { return weak.expired(); });
      links_.push_back(link);
    }
    return std::make_unique<EngineDatabase>(std::move(link));
  }

  std::unique_ptr<Database> OpenDatabase(const std::string& location, bool exclusive) override {
    return Adopt(BackendFor(location).Open(location, exclusive), /*joined=*/true);
  }

  void BeginTrans() override {
    auto live = Live();
    if (depth_ == 0) {
      for (std::size_t i = 0; i < live.size(); ++i) {
        try {
          live[i]->Begin();
        } catch (const DbError&) {
          for (std::size_t j = 0; j < i; ++j) live[j]->Rollback();
          throw;
        }
      }
    } else {
      // Some failures (a full disk, an I/O error) roll a whole transaction back; a savepoint
      // then would begin a transaction of its own and commit at its release, so that what
      // belongs together would be stored in pieces.
      for (auto* c : live) {
        if (!c->InTransaction()) {
          throw DbError(kGeneral, "The transaction on '" + c->Name() +
                                      "' was rolled back after an earlier error.");
        }
      }
      for (auto* c : live) c->Exec(c->SavepointSql(Level(depth_)));
    }
    ++depth_;
  }

  void CommitTrans() override {
    RequireTransaction();
    auto live = Live();
    if (depth_ == 1) {
      // A commit that finds the database busy leaves the transaction open, so it may be retried.
      for (auto* c : live) c->Commit();
    } else {
      for (auto* c : live) c->Exec(c->ReleaseSql(Level(depth_ - 1)));
    }
    --depth_;
  }

  void Rollback() override {
    RequireTransaction();
    auto live = Live();
    --depth_;
    for (auto* c : live) {
      if (!c->InTransaction()) {
        // Rolled back already, savepoints and all.
      } else if (depth_ == 0) {
        c->Rollback();
      } else {
        c->Exec(c->RollbackToSql(Level(depth_)) + "; " + c->ReleaseSql(Level(depth_)));
      }
    }
  }

  void Close() override {
    for (auto& weak : links_) {
      if (auto link = weak.lock()) link->Close();
    }
    links_.clear();
    depth_ = 0;
  }

 private:
  static std::string Level(int depth) { return "level" + std::to_string(depth); }

  std::vector<BackendConnection*> Live() {
    std::vector<BackendConnection*> live;
    for (auto& weak : links_) {
      if (auto link = weak.lock(); link && !link->closed()) live.push_back(&link->connection());
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

  const std::vector<std::unique_ptr<Backend>>& backends_;
  const Clock* clock_;
  std::vector<std::weak_ptr<Link>> links_;
  int depth_ = 0;
};

class MultiEngine : public Engine {
 public:
  MultiEngine(std::vector<std::unique_ptr<Backend>> backends, const EngineOptions& options)
      : backends_(std::move(backends)), workspace_(backends_, options.clock) {}

  Workspace& DefaultWorkspace() override { return workspace_; }

  std::unique_ptr<Database> CreateDatabase(const std::string& location,
                                           const Schema& schema) override {
    // A new database stands apart from the workspace's transactions, as it always has.
    return workspace_.Adopt(workspace_.BackendFor(location).Create(location, schema),
                            /*joined=*/false);
  }

  void RepairDatabase(const std::string& location) override {
    Backend& backend = workspace_.BackendFor(location);
    backend.RequireDatabase(location);
    backend.Open(location, /*exclusive=*/true)->Repair();
  }

  void CompactDatabase(const std::string& source, const std::string& destination) override {
    Backend& backend = workspace_.BackendFor(source);
    backend.RequireDatabase(source);
    backend.RequireNoDatabase(destination);
    backend.Open(source, /*exclusive=*/true)->CompactInto(destination);
  }

 private:
  std::vector<std::unique_ptr<Backend>> backends_;
  EngineWorkspace workspace_;
};

}  // namespace

void BackendConnection::AppendRows(std::string_view, const std::vector<std::string>& columns,
                                   const std::vector<Value>& rows, BackendStatement& insert) {
  const bool own_transaction = !InTransaction();
  const std::string savepoint = "append_rows";
  if (own_transaction) {
    Begin();
  } else {
    Exec(SavepointSql(savepoint));
  }
  try {
    const int width = static_cast<int>(columns.size());
    for (std::size_t row = 0; row < rows.size(); row += width) {
      for (int i = 0; i < width; ++i) insert.Bind(i + 1, rows[row + i]);
      std::vector<Value> none;
      ReadAll(insert, 0, none, nullptr);
    }
    if (own_transaction) {
      Commit();
    } else {
      Exec(ReleaseSql(savepoint));
    }
  } catch (...) {
    try {
      if (own_transaction) {
        Rollback();
      } else if (InTransaction()) {
        Exec(RollbackToSql(savepoint) + "; " + ReleaseSql(savepoint));
      }
    } catch (const DbError&) {
      // The first failure is the one to report; a connection that fails again is closed
      // by its owner, which rolls everything back.
    }
    throw;
  }
}

bool IsServerLocation(std::string_view location) {
  for (std::string_view scheme : {"postgresql://", "postgres://"}) {
    if (EqualsNoCase(location.substr(0, scheme.size()), scheme)) return true;
  }
  return false;
}

std::unique_ptr<Engine> MakeEngine(std::vector<std::unique_ptr<Backend>> backends,
                                   const EngineOptions& options) {
  return std::make_unique<MultiEngine>(std::move(backends), options);
}

}  // namespace brontal::db
