// Writers in other processes: two saving at once, and one killed at random moments.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

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
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe_fds[0]);
      writer(pipe_fds[1], "round " + std::to_string(round), 0);
    }
    ::close(pipe_fds[1]);
    char ready[6];
    ASSERT_EQ(::read(pipe_fds[0], ready, sizeof ready), 6) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    for (std::string& key : read_lines(pipe_fds[0])) reported.push_back(std::move(key));
    ::close(pipe_fds[0]);
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

}  // namespace
}  // namespace zu_test
