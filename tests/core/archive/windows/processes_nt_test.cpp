// Writers in other processes on the NT backend: two saving at once, one terminated with
// TerminateProcess at chosen moments, and threads of one process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "archive_fixture.hpp"
#include "windows/processes.hpp"

namespace zu_test {
namespace {

namespace fs = zu::archive_fs::testing;
using Messages = std::vector<zu::Message>;
using zu_test::windows::Child;
using zu_test::windows::Event;

// read_lines returns the whole lines of a report file; a line cut short by a terminated
// writer is dropped.
std::vector<std::string> read_lines(const std::string& path) {
  std::string text = fs::exists(path) ? fs::read_bytes(path) : std::string();
  std::vector<std::string> lines;
  for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) {
    lines.push_back(text.substr(0, end));
  }
  return lines;
}

// writer: opens the archive at arguments[0] (store) and [1] (key file) as another
// process of the host would, saves arguments[3] records (0: until terminated) tagged
// arguments[2], and appends each key to the file arguments[4], one write per line. It
// sets the event arguments[5] once the archive is open.
ZU_TEST_CHILD(writer) {
  auto opened = zu::NativeArchive::open(arguments.at(0), arguments.at(1), "owner-1",
                                        make_descriptor(Family::messages), {});
  if (!std::holds_alternative<ArchivePtr>(opened)) return 2;
  const ArchivePtr& archive = std::get<ArchivePtr>(opened);
  const HANDLE out = ::CreateFileW(fs::wide(arguments.at(4)).c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 3;
  const auto report = [out](const std::string& key) {
    const std::string line = key + "\n";
    DWORD put = 0;
    return ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &put, nullptr) != 0 &&
           put == line.size();
  };
  Event(arguments.at(5)).set();
  const int count = std::stoi(arguments.at(3));
  for (int i = 0; count == 0 || i < count; ++i) {
    auto key = archive->save({user_text(arguments.at(2) + " " + std::to_string(i)),
                              user_text("shared")},
                             "s");
    if (!std::holds_alternative<std::string>(key) || !report(std::get<std::string>(key))) return 4;
    if (i == 0) {
      auto same = archive->save({user_text("the same record")}, "s");
      if (!std::holds_alternative<std::string>(same) || !report(std::get<std::string>(same))) {
        return 5;
      }
    }
  }
  ::CloseHandle(out);
  return 0;
}

class NtProcesses : public ArchiveTest {
 protected:
  bool loads(const ArchivePtr& archive, const std::string& key) const {
    return std::holds_alternative<Messages>(archive->load(key, "s"));
  }
};

TEST_F(NtProcesses, TwoWriterProcessesAtOnceLoseNothingAndShareTheSameRecord) {
  const ArchivePtr archive = made();
  Event first_open;
  Event second_open;
  const std::string first_report = scratch_.at("first.txt");
  const std::string second_report = scratch_.at("second.txt");
  Child first("writer", {store_path(), key_path(), "writer 0", "8", first_report, first_open.name()});
  Child second("writer",
               {store_path(), key_path(), "writer 1", "8", second_report, second_open.name()});
  EXPECT_EQ(first.wait(), 0);
  EXPECT_EQ(second.wait(), 0);
  std::vector<std::string> keys = read_lines(first_report);
  for (std::string& key : read_lines(second_report)) keys.push_back(std::move(key));
  ASSERT_EQ(keys.size(), 18u);
  for (const std::string& key : keys) EXPECT_TRUE(loads(archive, key)) << key;
  // 16 distinct records and the one both wrote, once.
  EXPECT_EQ(entries().size(), 17u);
}

TEST_F(NtProcesses, AWriterTerminatedAtChosenMomentsLeavesEveryReportedRecordAndOnlyStagingFiles) {
  // The moments spread from the instant the writer has the archive open over about three
  // of its saves, however fast this machine and build are: one save is timed here first.
  const ArchivePtr calibration = made();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(std::holds_alternative<std::string>(calibration->save({user_text("timing")}, "s")));
  const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::int64_t> delay_us(0, 3 * one_save.count() + 1000);
  std::vector<std::string> reported;
  constexpr int kKills = 20;
  for (int round = 0; round < kKills; ++round) {
    const std::string report = scratch_.at("round-" + std::to_string(round) + ".txt");
    Event open;
    Child writer("writer", {store_path(), key_path(), "round " + std::to_string(round), "0", report,
                            open.name()});
    ASSERT_TRUE(open.wait()) << "the writer did not start";
    // The first rounds end the writer at once, before or during its first save.
    if (round >= 3) std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ASSERT_TRUE(writer.running()) << "the writer stopped by itself in round " << round
                                  << " with exit code " << writer.wait(0);
    writer.terminate();
    for (std::string& key : read_lines(report)) reported.push_back(std::move(key));
  }

  auto reopened = open();
  ASSERT_TRUE(std::holds_alternative<ArchivePtr>(reopened));
  const ArchivePtr& archive = std::get<ArchivePtr>(reopened);
  for (const std::string& key : reported) EXPECT_TRUE(loads(archive, key)) << key;
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

TEST_F(NtProcesses, ThreadsSavingAndLoadingAtOnceLoseNothing) {
  const ArchivePtr archive = made();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  std::vector<std::vector<std::string>> keys(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 8; ++i) {
        auto key = archive->save({user_text("thread " + std::to_string(t) + " " + std::to_string(i))},
                                 "s");
        if (!std::holds_alternative<std::string>(key)) {
          ++failures;
          continue;
        }
        keys[static_cast<std::size_t>(t)].push_back(std::get<std::string>(key));
        if (!loads(archive, std::get<std::string>(key))) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(entries().size(), 32u);
}

}  // namespace
}  // namespace zu_test
