// Checks run as an ordinary user, and files planted by another one. The
// faults these tests look for (a link followed, a folder taken, a file lost)
// only show without root's rights: as root, the body runs in a child process
// that dropped to an unused uid, and its failures come back through its exit
// status; as an ordinary user it runs as it is.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace qel::test {

// Two uids no account on a test machine has: the user and another one.
inline constexpr uid_t kUser = 64101;
inline constexpr uid_t kOtherUser = 64102;

inline bool Root() { return ::geteuid() == 0; }

// The uid a body runs as: kUser under root, else the caller's own.
inline uid_t TestUser() { return Root() ? kUser : ::geteuid(); }

// Gives a file or folder (and what is in it) to uid, links themselves.
inline void GiveTo(const std::string& path, uid_t uid) {
  namespace fs = std::filesystem;
  ::lchown(path.c_str(), uid, uid);
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(path, ec)))
    for (const auto& e : fs::recursive_directory_iterator(path, ec)) ::lchown(e.path().c_str(), uid, uid);
}

template <typename Body>
void AsUser(Body body) {
  if (!Root()) {
    body();
    return;
  }
  std::fflush(stdout);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUser) != 0 || ::setuid(kUser) != 0) ::_exit(3);
    body();
    std::fflush(stdout);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the part run as uid " << kUser << " failed (status " << status << ")";
}

#define QEL_NEED_ROOT_TO_PLANT() \
  if (!::qel::test::Root()) GTEST_SKIP() << "planting another user's files needs root"

}  // namespace qel::test
