// Writers in other processes: two saving at once, and one killed at random moments.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <utility>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

// read_lines returns the newline-terminated lines that arrive on fd until its writers
// are gone; a line cut short by a killed writer is dropped.
std::vector<std::string> read_lines(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  std::vector<std::string> lines;
  for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) {
    lines.push_back(text.substr(0, end));
  }
  return lines;
}

// report writes one line to fd, whole or not at all as far as the reader is concerned.
void report(int fd, const std::string& line) {
  const std::string whole = line + "\n";
  if (::write(fd, whole.data(), whole.size()) != static_cast<ssize_t>(whole.size())) ::_exit(3);
}

// Killed is what a child killed by killed_after left: the lines it reported after
// "ready", and its wait status.
struct Killed {
  std::vector<std::string> lines;
  int status = -1;
};

// killed_after runs `body` in a child with the write end of a pipe. The body reports
// "ready" first; `delay` after that line arrives the child is killed with SIGKILL, unless
// it has ended by then, which ends the wait at once. body must not return and must not
// use the test framework.
Killed killed_after(const std::function<void(int fd)>& body, std::chrono::microseconds delay) {
  Killed result;
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    body(pipe_fds[1]);
    ::_exit(6);
  }
  ::close(pipe_fds[1]);
  if (child < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    ::close(pipe_fds[0]);
    return result;
  }
  char ready[6];
  EXPECT_EQ(::read(pipe_fds[0], ready, sizeof ready), 6) << "the child did not start";
  // A pidfd becomes readable when the child ends.
  const int ended = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
  pollfd wait{ended, POLLIN, 0};
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(delay);
  const timespec limit{static_cast<time_t>(seconds.count()),
                       static_cast<long>(std::chrono::nanoseconds(delay - seconds).count())};
  if (ended < 0 || ::ppoll(&wait, 1, &limit, nullptr) != 1) ::kill(child, SIGKILL);
  if (ended >= 0) ::close(ended);
  EXPECT_EQ(::waitpid(child, &result.status, 0), child);
  result.lines = read_lines(pipe_fds[0]);
  ::close(pipe_fds[0]);
  return result;
}

class Processes : public ArchiveTest {
 protected:
  // writer runs in a child: it opens the archive for itself, as another process of the
  // host would, saves `count` records (count 0: until killed) and reports each key.
  [[noreturn]] void writer(int fd, const std::string& tag, int count) const {
    auto opened = open();
    if (!std::holds_alternative<ArchivePtr>(opened)) ::_exit(2);
    const ArchivePtr& archive = std::get<ArchivePtr>(opened);
    if (count == 0) report(fd, "ready");
    for (int i = 0; count == 0 || i < count; ++i) {
      auto key = archive->save({user_text(tag + " " + std::to_string(i)), user_text("shared")}, "s");
      if (!std::holds_alternative<std::string>(key)) ::_exit(4);
      report(fd, std::get<std::string>(key));
      if (i == 0) {
        auto same = archive->save({user_text("the same record")}, "s");
        if (!std::holds_alternative<std::string>(same)) ::_exit(5);
        report(fd, std::get<std::string>(same));
      }
    }
    ::_exit(0);
  }

  bool loads(const ArchivePtr& archive, const std::string& key) const {
    return std::holds_alternative<Messages>(archive->load(key, "s"));
  }
};

TEST_F(Processes, TwoWritersAtOnceLoseNothingAndShareTheSameRecord) {
  const ArchivePtr archive = made();
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = ::fork();
    ASSERT_GE(children[i], 0);
    if (children[i] == 0) {
      ::close(pipe_fds[0]);
      writer(pipe_fds[1], "writer " + std::to_string(i), 12);
    }
  }
  ::close(pipe_fds[1]);
  const std::vector<std::string> keys = read_lines(pipe_fds[0]);
  ::close(pipe_fds[0]);
  for (const pid_t child : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  ASSERT_EQ(keys.size(), 26u);
  for (const std::string& key : keys) EXPECT_TRUE(loads(archive, key)) << key;
  // 24 distinct records and the one both wrote, once.
  EXPECT_EQ(entries().size(), 25u);
}

TEST_F(Processes, AWriterKilledAtAnyMomentLeavesEveryReportedRecordAndOnlyStagingFiles) {
  // The kill points spread over about three saves of the writer, however fast this
  // machine and build are: one save is timed here first.
  const ArchivePtr calibration = made();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(std::holds_alternative<std::string>(calibration->save({user_text("timing")}, "s")));
  const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::int64_t> delay_us(0, 3 * one_save.count() + 1000);
  std::vector<std::string> reported;
  constexpr int kKills = 110;
  for (int round = 0; round < kKills; ++round) {
    Killed killed = killed_after(
        [&](int fd) { writer(fd, "round " + std::to_string(round), 0); },
        std::chrono::microseconds(delay_us(random)));
    EXPECT_TRUE(WIFSIGNALED(killed.status)) << "the writer stopped by itself: " << killed.status;
    for (std::string& key : killed.lines) reported.push_back(std::move(key));
  }

  auto reopened = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(reopened));
  const ArchivePtr& archive = std::get<ArchivePtr>(reopened);
  for (const std::string& key : reported) EXPECT_TRUE(loads(archive, key)) << key;
  // Whatever was published, reported or not, is a whole record; anything else is a
  // staging file.
  std::size_t staging = 0;
  for (const std::string& name : entries()) {
    if (name.rfind(".pending-", 0) == 0) {
      EXPECT_EQ(name.size(), 73u);
      ++staging;
    } else {
      EXPECT_TRUE(loads(archive, "zuna3:" + name)) << name;
    }
  }
  EXPECT_GT(reported.size(), 0u);
  RecordProperty("staging_files_left", static_cast<int>(staging));

  auto removed = archive->remove_stale_staging();
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(removed));
  EXPECT_EQ(std::get<std::uint64_t>(removed), staging);
  for (const std::string& name : entries()) EXPECT_NE(name.rfind(".pending-", 0), 0u) << name;
}

// A child forked while another thread of the parent saves inherits the archive's mutex
// in whatever state it was, possibly held by a thread the child does not have. A child
// therefore opens an archive of its own, and that one works however the fork fell.
TEST_F(Processes, AChildForkedDuringASaveWorksWithAnArchiveOfItsOwn) {
  if (kAddressSanitizer) {
    // Its allocator keeps a lock of its own that fork does not take: a child forked while
    // the saving thread allocates can hang inside the sanitizer, whatever it then runs.
    GTEST_SKIP() << "AddressSanitizer's allocator does not survive a fork while another thread allocates";
  }
  const ArchivePtr parent = made();
  std::atomic<bool> stop{false};
  std::atomic<int> parent_saves{0};
  std::thread saver([&] {
    for (int i = 0; !stop; ++i) {
      if (std::holds_alternative<std::string>(parent->save({user_text("parent " + std::to_string(i))}, "s"))) {
        ++parent_saves;
      }
    }
  });
  constexpr int kChildren = 30;
  std::vector<int> worked;
  for (int i = 0; i < kChildren; ++i) {
    const int code = zu::archive_fs::testing::in_child(
        [&] {
          auto own = open();
          if (!std::holds_alternative<ArchivePtr>(own)) return 2;
          const ArchivePtr& archive = std::get<ArchivePtr>(own);
          auto key = archive->save({user_text("child " + std::to_string(i))}, "s");
          if (!std::holds_alternative<std::string>(key)) return 3;
          return std::holds_alternative<Messages>(archive->load(std::get<std::string>(key), "s")) ? 0 : 4;
        },
        20'000);
    EXPECT_EQ(code, 0) << "child " << i << (code == -1 ? " hung or was killed" : "");
    if (code == 0) worked.push_back(i);
  }
  stop = true;
  saver.join();
  EXPECT_GT(parent_saves.load(), 0);
  // Each child's record is there: saving the same messages again writes nothing new.
  const std::size_t before = entries().size();
  for (const int i : worked) {
    EXPECT_TRUE(std::holds_alternative<std::string>(parent->save({user_text("child " + std::to_string(i))}, "s")));
  }
  EXPECT_EQ(entries().size(), before);
}

// A provision killed at any moment must leave what the same call, or open, accepts, with
// nobody deleting anything; and once provision has returned, its archive and what was
// saved in it stay. Each round provisions new paths in a child that is killed at a random
// point spread over about one provision and a save.
TEST_F(Processes, AProvisionKilledAtAnyMomentLeavesWhatTheSameCallOrOpenAccepts) {
  const auto paths = [this](int round) {
    const std::string name = std::to_string(round);
    return std::pair{scratch_.at("store-" + name), scratch_.at("keys/" + name + ".key")};
  };
  const auto provision_at = [this](const std::pair<std::string, std::string>& at) {
    return zu::NativeArchive::provision(at.first, at.second, "owner-1", descriptor_, {});
  };
  const auto open_at = [this](const std::pair<std::string, std::string>& at) {
    return zu::NativeArchive::open(at.first, at.second, "owner-1", descriptor_, {});
  };
  // The kill points spread over the time a child takes for one provision and a save,
  // measured on children that are left to finish (the median of five).
  const auto whole_round = [&](int round) {
    return [&, round](int fd) {
      report(fd, "ready");
      auto made = provision_at(paths(round));
      if (!std::holds_alternative<ArchivePtr>(made)) ::_exit(2);
      report(fd, "provisioned");
      auto key = std::get<ArchivePtr>(made)->save({user_text("round " + std::to_string(round))}, "s");
      if (!std::holds_alternative<std::string>(key)) ::_exit(4);
      report(fd, std::get<std::string>(key));
      ::_exit(0);
    };
  };
  std::vector<std::int64_t> rounds_us;
  for (int round = -5; round < 0; ++round) {
    const auto started = std::chrono::steady_clock::now();
    const Killed finished = killed_after(whole_round(round), std::chrono::seconds(30));
    ASSERT_EQ(finished.lines.size(), 2u) << "a provision left alone did not finish";
    rounds_us.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count());
  }
  std::sort(rounds_us.begin(), rounds_us.end());
  std::mt19937 random(20261210);
  std::uniform_int_distribution<std::int64_t> delay_us(0, rounds_us[2]);

  constexpr int kKills = 200;
  int provisioned_by_child = 0;
  int reprovisioned = 0;
  for (int round = 0; round < kKills; ++round) {
    const auto at = paths(round);
    const Killed killed = killed_after(whole_round(round), std::chrono::microseconds(delay_us(random)));
    ASSERT_TRUE(WIFSIGNALED(killed.status) || (WIFEXITED(killed.status) && WEXITSTATUS(killed.status) == 0))
        << killed.status;
    const std::vector<std::string>& lines = killed.lines;

    SCOPED_TRACE("round " + std::to_string(round));
    ArchiveResult admitted = open_at(at);
    if (!lines.empty()) {
      // provision returned: its archive must be there, and so must a saved record.
      ++provisioned_by_child;
      ASSERT_TRUE(std::holds_alternative<ArchivePtr>(admitted));
      if (lines.size() == 2) {
        EXPECT_TRUE(loads(std::get<ArchivePtr>(admitted), lines[1]));
      }
    } else if (!std::holds_alternative<ArchivePtr>(admitted)) {
      ++reprovisioned;
      admitted = provision_at(at);
      ASSERT_TRUE(std::holds_alternative<ArchivePtr>(admitted));
    }
    const auto key = std::get<ArchivePtr>(admitted)->save({user_text("after")}, "s");
    ASSERT_TRUE(std::holds_alternative<std::string>(key));
    EXPECT_TRUE(loads(std::get<ArchivePtr>(admitted), std::get<std::string>(key)));
  }
  // The kills fell before, inside and after provision alike.
  EXPECT_GT(provisioned_by_child, 0);
  EXPECT_GT(reprovisioned, 0);
  RecordProperty("provisions_returned", provisioned_by_child);
  RecordProperty("provisions_redone", reprovisioned);
  RecordProperty("provisions_whole_unreported", kKills - provisioned_by_child - reprovisioned);
  // Besides the key files, killed provisions leave at most staging files behind.
  if (DIR* keys = ::opendir(scratch_.at("keys").c_str())) {
    while (const dirent* entry = ::readdir(keys)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const bool key_file = name.size() > 4 && name.compare(name.size() - 4, 4, ".key") == 0;
      EXPECT_TRUE(key_file || (name.rfind(".pending-", 0) == 0 && name.size() == 73)) << name;
    }
    ::closedir(keys);
  }
}

}  // namespace
}  // namespace zu_test
