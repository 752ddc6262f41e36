// The in-memory tree of FakeFileSystem: nodes keyed by full logical path, each directory
// holding its children in the order they were added, and the faults and changes the tests
// inject.
#include "platform/testing/fake_filesystem.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace brontal {
namespace {

// The path without trailing "\"s, so that "C:\" and "C:" name the same directory.
std::string_view Normalized(std::string_view path) {
  while (path.size() > 1 && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// Where the last component starts, or npos for a root: a drive ("C:", "/") or a share
// (\\node\share), which has no parent to hang it from.
std::size_t LastSeparator(std::string_view path) {
  std::size_t last = path.rfind('\\');
  if (last == std::string_view::npos || last == 0) return std::string_view::npos;
  if (path.starts_with("\\\\")) {
    std::size_t share_separator = path.find('\\', 2);
    if (share_separator == std::string_view::npos || share_separator == last) {
      return std::string_view::npos;
    }
  }
  return last;
}

std::string_view NameOf(std::string_view path) {
  std::size_t last = LastSeparator(path);
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

}  // namespace

class FakeFileSystem::Listing : public DirectoryListing {
 public:
  Listing(FakeFileSystem& fs, const Node& directory) : fs_(fs), directory_(directory) {}

  bool Next(DirEntry& entry) override {
    const auto lock = fs_.Lock();
    if (std::optional<Fault> fault = fs_.Call()) throw FsError(fault->number, fault->text);
    if (!broken_ && directory_.break_after >= 0 &&
        position_ == static_cast<std::size_t>(directory_.break_after)) {
      broken_ = true;
      throw FsError(directory_.break_fault.number, directory_.break_fault.text);
    }
    if (position_ >= directory_.children.size()) return false;
    ListedEntry(*directory_.children[position_++], entry);
    return true;
  }

  DirectoryId Id() const override {
    const auto lock = fs_.Lock();
    return DirectoryId{1, directory_.id};
  }

  std::unique_ptr<DirectoryListing> OpenChild(std::string_view name) override {
    const auto lock = fs_.Lock();
    if (std::optional<Fault> fault = fs_.Call()) throw FsError(fault->number, fault->text);
    fs_.RunOnOpen(directory_.path + "\\" + std::string(name));
    // Looked up under the directory's path as it is now, which follows it when it moves.
    return fs_.Open(directory_.path + "\\" + std::string(name), /*follow_link=*/false);
  }

  std::unique_ptr<DirectoryListing> OpenParent() override {
    const auto lock = fs_.Lock();
    if (std::optional<Fault> fault = fs_.Call()) throw FsError(fault->number, fault->text);
    if (directory_.parent == nullptr) {
      throw FsError(kFsPathNotFound, "Path not found: " + directory_.path + "\\..");
    }
    fs_.RunOnOpen(directory_.parent->path);
    // Where the directory lies now, which its action may have changed.
    return fs_.Open(directory_.parent->path, /*follow_link=*/false);
  }

 private:
  FakeFileSystem& fs_;
  const Node& directory_;
  std::size_t position_ = 0;
  bool broken_ = false;
};

FakeFileSystem::Node* FakeFileSystem::MakeDirectory(const std::string& path) {
  if (Node* existing = Find(path)) return existing->is_directory ? existing : nullptr;
  Node* parent = nullptr;
  std::size_t last = LastSeparator(path);
  if (last != std::string::npos) {
    parent = MakeDirectory(path.substr(0, last));
    if (parent == nullptr) return nullptr;
  }
  Node& node = nodes_[path];
  node.path = path;
  node.is_directory = true;
  node.id = next_id_++;
  node.entry.name = NameOf(path);
  node.entry.attributes = kAttrDirectory;
  node.parent = parent;
  if (parent != nullptr) parent->children.push_back(&node);
  return &node;
}

FakeFileSystem::Node& FakeFileSystem::MakeLeaf(std::string_view path) {
  std::string full(Normalized(path));
  std::size_t last = LastSeparator(full);
  if (last == std::string::npos) throw std::invalid_argument("a file cannot be a root: " + full);
  if (Find(full) != nullptr) throw std::invalid_argument("already in the fake: " + full);
  Node* parent = MakeDirectory(full.substr(0, last));
  if (parent == nullptr) throw std::invalid_argument("a file stands in the way of " + full);
  Node& node = nodes_[full];
  node.path = full;
  node.id = next_id_++;
  node.entry.name = NameOf(full);
  node.parent = parent;
  parent->children.push_back(&node);
  return node;
}

FakeFileSystem::Node* FakeFileSystem::Find(std::string_view path) {
  auto it = nodes_.find(std::string(Normalized(path)));
  return it == nodes_.end() ? nullptr : &it->second;
}

const FakeFileSystem::Node* FakeFileSystem::Find(std::string_view path) const {
  auto it = nodes_.find(std::string(Normalized(path)));
  return it == nodes_.end() ? nullptr : &it->second;
}

FakeFileSystem::Node& FakeFileSystem::Existing(std::string_view path) {
  Node* node = Find(path);
  if (node == nullptr) {
    throw std::invalid_argument("no such path in the fake: " + std::string(path));
  }
  return *node;
}

void FakeFileSystem::AddDirectory(std::string_view path) {
  const auto lock = Lock();
  if (MakeDirectory(std::string(Normalized(path))) == nullptr) {
    throw std::invalid_argument("a file stands in the way of " + std::string(path));
  }
}

void FakeFileSystem::AddFile(std::string_view path, std::int64_t length) {
  AddFile(path, length, length);
}

void FakeFileSystem::AddFile(std::string_view path, std::int64_t length, std::int64_t compressed) {
  const auto lock = Lock();
  Node& node = MakeLeaf(path);
  node.entry.length = length;
  node.entry.compressed = compressed;
}

void FakeFileSystem::AddLink(std::string_view path, std::string_view target) {
  const auto lock = Lock();
  Node& node = MakeLeaf(path);
  node.link_target = std::string(target);
  node.entry.length = static_cast<std::int64_t>(target.size());
  node.entry.compressed = node.entry.length;
}

void FakeFileSystem::Move(std::string_view from, std::string_view to) {
  const auto lock = Lock();
  Node& node = Existing(from);
  const std::string old_path = node.path;
  const std::string new_path(Normalized(to));
  const std::size_t last = LastSeparator(new_path);
  if (node.parent == nullptr || last == std::string::npos) {
    throw std::invalid_argument("a root cannot move: " + old_path + " to " + new_path);
  }
  if (Find(new_path) != nullptr) throw std::invalid_argument("already in the fake: " + new_path);
  if (new_path.starts_with(old_path + "\\")) {
    throw std::invalid_argument(new_path + " lies inside " + old_path);
  }
  Node* parent = MakeDirectory(new_path.substr(0, last));
  if (parent == nullptr) throw std::invalid_argument("a file stands in the way of " + new_path);

  // Re-keyed through node handles, so that the nodes, and listings open on them, stay put.
  std::vector<std::string> moving;
  for (const auto& [path, ignored] : nodes_) {
    if (path == old_path || path.starts_with(old_path + "\\")) moving.push_back(path);
  }
  for (const std::string& path : moving) {
    auto handle = nodes_.extract(path);
    handle.key() = new_path + path.substr(old_path.size());
    handle.mapped().path = handle.key();
    nodes_.insert(std::move(handle));
  }
  std::vector<Node*>& siblings = node.parent->children;
  siblings.erase(std::find(siblings.begin(), siblings.end(), &node));
  node.parent = parent;
  node.entry.name = NameOf(new_path);
  parent->children.push_back(&node);
}

void FakeFileSystem::AddDrive(std::string_view drive, std::int64_t free_bytes,
                              std::int64_t total_bytes) {
  const auto lock = Lock();
  std::string name(Normalized(drive));
  AddDirectory(name);
  drives_.push_back({name, free_bytes, total_bytes});
}

void FakeFileSystem::SetShortPath(std::string_view path, std::string_view short_path) {
  const auto lock = Lock();
  Existing(path);
  std::string full(Normalized(path));
  std::string short_form(Normalized(short_path));
  short_of_[full] = short_form;
  long_of_[short_form] = full;
}

void FakeFileSystem::FailList(std::string_view path, int number, std::string text) {
  const auto lock = Lock();
  Existing(path).list_fault = Fault{number, std::move(text)};
}

void FakeFileSystem::BreakListing(std::string_view path, int after, int number, std::string text) {
  const auto lock = Lock();
  Node& node = Existing(path);
  node.break_after = after;
  node.break_fault = Fault{number, std::move(text)};
}

void FakeFileSystem::FailAttributes(std::string_view path, int number) {
  const auto lock = Lock();
  Existing(path).attributes_error = number;
}

void FakeFileSystem::FailSize(std::string_view path, int number, std::string text) {
  const auto lock = Lock();
  Existing(path).size_fault = Fault{number, std::move(text)};
}

void FakeFileSystem::FailStat(std::string_view path, int number, std::string text) {
  const auto lock = Lock();
  Existing(path).stat_fault = Fault{number, std::move(text)};
}

void FakeFileSystem::VanishAfterListing(std::string_view path) {
  std::string text = "File not found: " + std::string(path);
  FailSize(path, kFsFileNotFound, text);
  FailStat(path, kFsFileNotFound, text);
}

void FakeFileSystem::FailCall(int nth, int number, std::string text, bool persist) {
  const auto lock = Lock();
  fail_at_ = calls_ + nth;
  fail_persist_ = persist;
  call_fault_ = Fault{number, std::move(text)};
}

void FakeFileSystem::OnOpen(std::string_view path, std::function<void()> action) {
  const auto lock = Lock();
  on_open_[std::string(Normalized(path))] = std::move(action);
}

int FakeFileSystem::ListCount(std::string_view path) const {
  const auto lock = Lock();
  const Node* node = Find(path);
  return node == nullptr ? 0 : node->list_count;
}

std::optional<FakeFileSystem::Fault> FakeFileSystem::Call() {
  ++calls_;
  if (fail_at_ > 0 && (calls_ == fail_at_ || (fail_persist_ && calls_ > fail_at_))) {
    return call_fault_;
  }
  return std::nullopt;
}

void FakeFileSystem::ListedEntry(const Node& node, DirEntry& entry) {
  // Assigning field by field keeps the capacity of the caller's strings.
  entry.name = node.entry.name;
  entry.attributes = node.attributes_error != 0 ? 0 : node.entry.attributes;
  entry.attributes_error = node.attributes_error;
  if (node.size_fault) {
    entry.length = 0;
    entry.compressed = 0;
    entry.size_error = node.size_fault->number;
    entry.size_error_text = node.size_fault->text;
  } else {
    entry.length = node.entry.length;
    entry.compressed = node.entry.compressed;
    entry.size_error = 0;
    entry.size_error_text.clear();
  }
}

void FakeFileSystem::RunOnOpen(const std::string& path) {
  auto hook = on_open_.find(path);
  if (hook == on_open_.end()) return;
  std::function<void()> action = std::move(hook->second);
  on_open_.erase(hook);  // before it runs: the action may open this path again
  action();
}

std::unique_ptr<DirectoryListing> FakeFileSystem::Open(const std::string& path, bool follow_link) {
  Node* node = Find(path);
  // The system gives up on a chain of links at some length; so does the fake.
  for (int hops = 0; follow_link && node != nullptr && node->link_target && hops < 40; ++hops) {
    node = Find(*node->link_target);
  }
  if (node == nullptr || !node->is_directory) {
    throw FsError(kFsPathNotFound, "Path not found: " + path);
  }
  ++node->list_count;
  if (node->list_fault) throw FsError(node->list_fault->number, node->list_fault->text);
  return std::make_unique<Listing>(*this, *node);
}

std::unique_ptr<DirectoryListing> FakeFileSystem::List(std::string_view path) {
  const auto lock = Lock();
  if (std::optional<Fault> fault = Call()) throw FsError(fault->number, fault->text);
  const std::string full(Normalized(path));
  RunOnOpen(full);
  return Open(full, /*follow_link=*/true);
}

DirEntry FakeFileSystem::Stat(std::string_view path) {
  const auto lock = Lock();
  if (std::optional<Fault> fault = Call()) throw FsError(fault->number, fault->text);
  std::string_view full = Normalized(path);
  if (auto alias = long_of_.find(full); alias != long_of_.end()) full = alias->second;
  const Node* node = Find(full);
  if (node == nullptr) throw FsError(kFsFileNotFound, "File not found: " + std::string(path));
  if (node->stat_fault) throw FsError(node->stat_fault->number, node->stat_fault->text);
  return node->entry;
}

std::vector<std::string> FakeFileSystem::FixedDrives() {
  const auto lock = Lock();
  if (std::optional<Fault> fault = Call()) throw FsError(fault->number, fault->text);
  std::vector<std::string> names;
  for (const Drive& drive : drives_) names.push_back(drive.name);
  return names;
}

std::int64_t FakeFileSystem::FreeBytes(std::string_view drive) {
  const auto lock = Lock();
  if (Call()) return 0;
  for (const Drive& known : drives_) {
    if (known.name == Normalized(drive)) return known.free_bytes;
  }
  return 0;
}

std::int64_t FakeFileSystem::TotalBytes(std::string_view drive) {
  const auto lock = Lock();
  if (Call()) return 0;
  for (const Drive& known : drives_) {
    if (known.name == Normalized(drive)) return known.total_bytes;
  }
  return 0;
}

std::string FakeFileSystem::ShortPathOf(std::string_view path) {
  const auto lock = Lock();
  if (std::optional<Fault> fault = Call()) throw FsError(fault->number, fault->text);
  auto it = short_of_.find(Normalized(path));
  return it == short_of_.end() ? std::string(path) : it->second;
}

std::string FakeFileSystem::ComputerName() {
  const auto lock = Lock();
  if (Call()) return "";
  return computer_name_;
}

bool FakeFileSystem::IsNT() {
  const auto lock = Lock();
  if (Call()) return false;
  return nt_;
}

}  // namespace brontal
