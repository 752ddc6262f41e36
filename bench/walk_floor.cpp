// The floor a sizing walk cannot go below: a tree read with nothing but getdents64 and fstatat,
// by one or more threads sharing a stack of directories still to read, summing the allocated
// size of everything in it. The scanner benchmark times it beside du -s and brontals.
//
//   walk_floor ROOT [THREADS]   (THREADS: 1 by default)
//
// Prints the directories, the other entries and the allocated bytes it found. Links are not
// followed and other file systems are not entered, as a scan does not enter them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The record getdents64 fills, which glibc declares only for its own use.
struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

struct Totals {
  std::uint64_t directories = 0;
  std::uint64_t others = 0;
  std::uint64_t bytes = 0;
};

// The directories still to read, and how many are being read now: the walk is over when both
// are none.
class WorkStack {
 public:
  void Push(std::string path) {
    {
      std::lock_guard lock(mutex_);
      paths_.push_back(std::move(path));
    }
    ready_.notify_one();
  }

  // The next directory to read, or false when the walk is over.
  bool Pop(std::string& path) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !paths_.empty() || busy_ == 0; });
    if (paths_.empty()) return false;
    path = std::move(paths_.back());
    paths_.pop_back();
    ++busy_;
    return true;
  }

  // A directory taken by Pop has been read, its subdirectories pushed.
  void Done() {
    bool over = false;
    {
      std::lock_guard lock(mutex_);
      over = --busy_ == 0 && paths_.empty();
    }
    if (over) ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::string> paths_;
  int busy_ = 0;
};

// Reads one directory: every entry is measured with fstatat, subdirectories on the same device
// are pushed for later.
void ReadDirectory(const std::string& path, dev_t device, WorkStack& stack, Totals& totals) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  ++totals.directories;
  alignas(LinuxDirent64) char buffer[64 * 1024];
  for (;;) {
    const long length = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (length <= 0) break;
    for (long offset = 0; offset < length;) {
      const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
      offset += entry->d_reclen;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      struct stat status {};
      if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      totals.bytes += static_cast<std::uint64_t>(status.st_blocks) * 512;
      if (S_ISDIR(status.st_mode)) {
        if (status.st_dev == device) stack.Push(path + "/" + name);
      } else {
        ++totals.others;
      }
    }
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: walk_floor ROOT [THREADS]\n");
    return 2;
  }
  const int threads = argc == 3 ? std::atoi(argv[2]) : 1;
  if (threads < 1) {
    std::fprintf(stderr, "walk_floor: THREADS must be a whole number from 1\n");
    return 2;
  }
  struct stat root {};
  if (lstat(argv[1], &root) != 0 || !S_ISDIR(root.st_mode)) {
    std::fprintf(stderr, "walk_floor: %s is not a directory\n", argv[1]);
    return 1;
  }

  WorkStack stack;
  stack.Push(argv[1]);
  std::vector<Totals> totals(static_cast<std::size_t>(threads));
  auto walk = [&](Totals& mine) {
    std::string path;
    while (stack.Pop(path)) {
      ReadDirectory(path, root.st_dev, stack, mine);
      stack.Done();
    }
  };
  std::vector<std::thread> workers;
  for (int i = 1; i < threads; ++i)
    workers.emplace_back(walk, std::ref(totals[static_cast<std::size_t>(i)]));
  walk(totals[0]);
  for (std::thread& worker : workers) worker.join();

  Totals sum;
  sum.bytes = static_cast<std::uint64_t>(root.st_blocks) * 512;  // the root's own, as du counts it
  for (const Totals& part : totals) {
    sum.directories += part.directories;
    sum.others += part.others;
    sum.bytes += part.bytes;
  }
  std::printf("%llu directories, %llu other entries, %llu bytes allocated\n",
              static_cast<unsigned long long>(sum.directories),
              static_cast<unsigned long long>(sum.others),
              static_cast<unsigned long long>(sum.bytes));
  return 0;
}
