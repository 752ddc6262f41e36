// The fault layer: a file layer whose files wrap those of the default one, each call counted and
// passed on unless it is the one to fail. Version 1 file methods only, so that SQLite reads
// through xRead rather than through memory maps, and every read is counted.
#include "platform/testing/fault_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>

namespace brontal::testing {
namespace {

// A file of the fault layer: its methods first, then the owner, then the wrapped file, whose
// storage follows this struct (szOsFile covers both).
struct FaultFile {
  sqlite3_file base;
  FaultVfs* owner;
  sqlite3_file* real;
};

FaultFile& Wrapper(sqlite3_file* file) { return *reinterpret_cast<FaultFile*>(file); }
sqlite3_file* Real(sqlite3_file* file) { return Wrapper(file).real; }

// Runs a counted call: the failure it is given, or the wrapped file's own call.
template <typename Call>
int Counted(sqlite3_file* file, FaultCall kind, Call&& call) {
  const int rc = Wrapper(file).owner->Check(kind);
  return rc == SQLITE_OK ? call(Real(file)) : rc;
}

int Close(sqlite3_file* file) {
  const int rc = Real(file)->pMethods->xClose(Real(file));
  file->pMethods = nullptr;
  return rc;
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return Counted(file, FaultCall::kRead, [&](sqlite3_file* real) {
    return real->pMethods->xRead(real, buffer, amount, offset);
  });
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  return Counted(file, FaultCall::kWrite, [&](sqlite3_file* real) {
    return real->pMethods->xWrite(real, buffer, amount, offset);
  });
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Counted(file, FaultCall::kTruncate,
                 [&](sqlite3_file* real) { return real->pMethods->xTruncate(real, size); });
}

int Sync(sqlite3_file* file, int flags) {
  return Counted(file, FaultCall::kSync,
                 [&](sqlite3_file* real) { return real->pMethods->xSync(real, flags); });
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}

int Lock(sqlite3_file* file, int level) {
  return Counted(file, FaultCall::kLock,
                 [&](sqlite3_file* real) { return real->pMethods->xLock(real, level); });
}

int Unlock(sqlite3_file* file, int level) {
  return Real(file)->pMethods->xUnlock(Real(file), level);
}

int CheckReservedLock(sqlite3_file* file, int* reserved) {
  return Real(file)->pMethods->xCheckReservedLock(Real(file), reserved);
}

int FileControl(sqlite3_file* file, int op, void* argument) {
  return Real(file)->pMethods->xFileControl(Real(file), op, argument);
}

int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }

int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

const sqlite3_io_methods kFileMethods = {
    .iVersion = 1,
    .xClose = Close,
    .xRead = Read,
    .xWrite = Write,
    .xTruncate = Truncate,
    .xSync = Sync,
    .xFileSize = FileSize,
    .xLock = Lock,
    .xUnlock = Unlock,
    .xCheckReservedLock = CheckReservedLock,
    .xFileControl = FileControl,
    .xSectorSize = SectorSize,
    .xDeviceCharacteristics = DeviceCharacteristics,
    .xShmMap = nullptr,
    .xShmLock = nullptr,
    .xShmBarrier = nullptr,
    .xShmUnmap = nullptr,
    .xFetch = nullptr,
    .xUnfetch = nullptr,
};

// What the fault layer's record in SQLite points to: its owner and the layer it wraps.
struct LayerData {
  FaultVfs* owner;
  sqlite3_vfs* real;
};

FaultVfs& Owner(sqlite3_vfs* vfs) { return *static_cast<LayerData*>(vfs->pAppData)->owner; }
// Everything but opening and deleting files goes to the wrapped layer unchanged.
sqlite3_vfs* Inner(sqlite3_vfs* vfs) { return static_cast<LayerData*>(vfs->pAppData)->real; }

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  FaultFile& wrapper = Wrapper(file);
  wrapper.owner = &Owner(vfs);
  wrapper.real = reinterpret_cast<sqlite3_file*>(&wrapper + 1);
  wrapper.real->pMethods = nullptr;
  sqlite3_vfs* inner = Inner(vfs);
  const int rc = inner->xOpen(inner, name, wrapper.real, flags, out_flags);
  // A wrapped file that has methods must be closed even after a failed open, and so must ours.
  file->pMethods = wrapper.real->pMethods ? &kFileMethods : nullptr;
  return rc;
}

int Delete(sqlite3_vfs* vfs, const char* name, int sync_dir) {
  const int rc = Owner(vfs).Check(FaultCall::kDelete);
  if (rc != SQLITE_OK) return rc;
  return Inner(vfs)->xDelete(Inner(vfs), name, sync_dir);
}

int Access(sqlite3_vfs* vfs, const char* name, int flags, int* result) {
  return Inner(vfs)->xAccess(Inner(vfs), name, flags, result);
}

int FullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
  return Inner(vfs)->xFullPathname(Inner(vfs), name, size, out);
}

void* DlOpen(sqlite3_vfs* vfs, const char* name) { return Inner(vfs)->xDlOpen(Inner(vfs), name); }

void DlError(sqlite3_vfs* vfs, int size, char* out) { Inner(vfs)->xDlError(Inner(vfs), size, out); }

void (*DlSym(sqlite3_vfs* vfs, void* library, const char* symbol))(void) {
  return Inner(vfs)->xDlSym(Inner(vfs), library, symbol);
}

void DlClose(sqlite3_vfs* vfs, void* library) { Inner(vfs)->xDlClose(Inner(vfs), library); }

int Randomness(sqlite3_vfs* vfs, int size, char* out) {
  return Inner(vfs)->xRandomness(Inner(vfs), size, out);
}

int Sleep(sqlite3_vfs* vfs, int microseconds) {
  return Inner(vfs)->xSleep(Inner(vfs), microseconds);
}

int CurrentTime(sqlite3_vfs* vfs, double* now) { return Inner(vfs)->xCurrentTime(Inner(vfs), now); }

int GetLastError(sqlite3_vfs* vfs, int size, char* out) {
  return Inner(vfs)->xGetLastError(Inner(vfs), size, out);
}

int CurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* now) {
  return Inner(vfs)->xCurrentTimeInt64(Inner(vfs), now);
}

}  // namespace

struct FaultVfs::Layer {
  sqlite3_vfs vfs;
  LayerData data;
};

namespace {

std::string NameOf(FaultCall call) {
  switch (call) {
    case FaultCall::kRead:
      return "read";
    case FaultCall::kWrite:
      return "write";
    case FaultCall::kSync:
      return "sync";
    case FaultCall::kTruncate:
      return "truncate";
    case FaultCall::kLock:
      return "lock";
    case FaultCall::kDelete:
      return "delete";
  }
  return "?";
}

}  // namespace

std::string NameOf(const FaultPlan& plan) {
  return NameOf(plan.call) + (plan.error == FaultError::kFull ? " full" : " ioerr") +
         (plan.persistent ? " persistent" : "");
}

std::string TestNameOf(const FaultPlan& plan) {
  std::string name = NameOf(plan);
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

std::vector<FaultPlan> EveryFaultPlan() {
  using enum FaultCall;
  return {{kRead},
          {kRead, FaultError::kIo, true},
          {kWrite},
          {kWrite, FaultError::kFull},
          {kWrite, FaultError::kFull, true},
          {kSync},
          {kTruncate},
          {kLock},
          {kDelete}};
}

FaultVfs::FaultVfs() : layer_(std::make_unique<Layer>()) {
  sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
  if (!real) throw std::runtime_error("SQLite has no default file layer");
  layer_->data = {this, real};
  layer_->vfs = {
      .iVersion = 2,
      .szOsFile = static_cast<int>(sizeof(FaultFile)) + real->szOsFile,
      .mxPathname = real->mxPathname,
      .pNext = nullptr,
      .zName = "brontal-fault",
      .pAppData = &layer_->data,
      .xOpen = Open,
      .xDelete = Delete,
      .xAccess = Access,
      .xFullPathname = FullPathname,
      .xDlOpen = DlOpen,
      .xDlError = DlError,
      .xDlSym = DlSym,
      .xDlClose = DlClose,
      .xRandomness = Randomness,
      .xSleep = Sleep,
      .xCurrentTime = CurrentTime,
      .xGetLastError = GetLastError,
      .xCurrentTimeInt64 = CurrentTimeInt64,
      .xSetSystemCall = nullptr,
      .xGetSystemCall = nullptr,
      .xNextSystemCall = nullptr,
  };
  if (sqlite3_vfs_register(&layer_->vfs, /*makeDflt=*/1) != SQLITE_OK) {
    throw std::runtime_error("cannot register the fault layer");
  }
}

FaultVfs::~FaultVfs() {
  sqlite3_vfs_unregister(&layer_->vfs);
  sqlite3_vfs_register(layer_->data.real, /*makeDflt=*/1);
}

void FaultVfs::Arm(const FaultPlan& plan, int n) {
  armed_ = true;
  plan_ = plan;
  fail_at_ = n;
  calls_ = 0;
  fired_ = false;
}

int FaultVfs::Check(FaultCall call) {
  if (!armed_ || call != plan_.call) return SQLITE_OK;
  ++calls_;
  if (calls_ < fail_at_ || (calls_ > fail_at_ && !plan_.persistent)) return SQLITE_OK;
  fired_ = true;
  if (plan_.error == FaultError::kFull) return SQLITE_FULL;
  switch (call) {
    case FaultCall::kRead:
      return SQLITE_IOERR_READ;
    case FaultCall::kWrite:
      return SQLITE_IOERR_WRITE;
    case FaultCall::kSync:
      return SQLITE_IOERR_FSYNC;
    case FaultCall::kTruncate:
      return SQLITE_IOERR_TRUNCATE;
    case FaultCall::kLock:
      return SQLITE_IOERR_LOCK;
    case FaultCall::kDelete:
      return SQLITE_IOERR_DELETE;
  }
  return SQLITE_IOERR;
}

std::filesystem::path FaultTestFolder() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

std::string IntegrityOf(const std::string& path) {
  sqlite3* handle = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  std::string result;
  auto step = [&](const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr);
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
      rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        result += (result.empty() ? "" : "\n") + std::string(text ? text : "");
      }
    }
    sqlite3_finalize(statement);
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  };
  step("select count(*) from sqlite_schema");
  const bool empty = result == "0";
  result.clear();
  step("pragma integrity_check");
  const std::string error = handle ? sqlite3_errmsg(handle) : "out of memory";
  sqlite3_close(handle);
  if (rc != SQLITE_OK) throw std::runtime_error("cannot check '" + path + "': " + error);
  return empty ? "no tables" : result;
}

int TryEveryFault(const FaultPlan& plan, const std::function<void()>& prepare,
                  const std::function<void(const std::function<void()>& arm)>& operation,
                  const std::function<bool(bool fired)>& check, int limit) {
  for (int n = 1; n <= limit; ++n) {
    prepare();
    bool fired = false;
    {
      FaultVfs vfs;
      operation([&] { vfs.Arm(plan, n); });
      fired = vfs.Fired();
    }
    if (!check(fired) || !fired) return n;
  }
  throw std::runtime_error(NameOf(plan) + " still reached after " + std::to_string(limit) +
                           " tries");
}

}  // namespace brontal::testing
