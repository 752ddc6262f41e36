// Who may use the files a test leaves: work done under another account, in a child process that
// gives root up (a scanner running as its own user), the umask, and a file's permission bits.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <string>

namespace brontal::testing {

// True when this process may act as another account.
inline bool RunningAsRoot() { return ::geteuid() == 0; }

struct AccountRun {
  int status = -1;  // what the work returned; -1 when it could not run or did not end normally
  std::string out;  // what it put into its `out`
};

// Runs `work` in a child process as user `uid` with the single group `gid`, and waits for it.
// Needs root (RunningAsRoot); an exception that leaves `work` ends the child with status -1.
inline AccountRun RunAsAccount(uid_t uid, gid_t gid,
                               const std::function<int(std::string& out)>& work) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    int status = 126;
    std::string out;
    if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
        ::setresuid(uid, uid, uid) == 0) {
      try {
        status = work(out);
      } catch (const std::exception&) {
        status = 125;
      }
    }
    for (std::size_t done = 0; done < out.size();) {
      ssize_t n = ::write(pipe_fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(status);
  }
  ::close(pipe_fds[1]);
  AccountRun run;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) run.out.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
      WEXITSTATUS(status) < 125) {
    run.status = WEXITSTATUS(status);
  }
  return run;
}

// Sets the umask of the test process for the life of the object.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : before_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(before_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t before_;
};

// The set-id, sticky and permission bits of the file at `path` (a link is followed); -1 when
// there is none.
inline int ModeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

}  // namespace brontal::testing
