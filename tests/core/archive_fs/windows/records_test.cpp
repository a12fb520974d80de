// The walk over one buffer of directory records, judged on buffers built in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive_fs/windows/records.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {
namespace {

using Names = std::vector<std::wstring>;

// Records holds one zeroed listing buffer and writes records into it.
class Records : public ::testing::Test {
 protected:
  // put writes a record at offset: its next-record offset, its name length in bytes
  // (twice the name's units unless given) and its name.
  void put(std::size_t offset, std::uint32_t next, std::wstring_view name,
           std::int64_t name_bytes = -1) {
    const auto length = static_cast<std::uint32_t>(
        name_bytes < 0 ? name.size() * sizeof(wchar_t) : static_cast<std::uint64_t>(name_bytes));
    std::memcpy(buffer_->bytes.data() + offset, &next, sizeof(next));
    std::memcpy(buffer_->bytes.data() + offset + 60, &length, sizeof(length));
    const std::size_t room = buffer_->bytes.size() - offset - kRecordHeadBytes;
    std::memcpy(buffer_->bytes.data() + offset + kRecordHeadBytes, name.data(),
                std::min(room, name.size() * sizeof(wchar_t)));
  }

  Names walk() const { return record_names(*buffer_); }

  std::unique_ptr<ListingBuffer> buffer_ = std::make_unique<ListingBuffer>();
};

TEST_F(Records, YieldsNamesInOrderWithoutDotEntries) {
  put(0, 112, L".");
  put(112, 112, L"..");
  put(224, 112, L"a");
  put(336, 0, L"b\u00e9");
  // Past the last record: never read.
  put(448, 0, L"unseen");
  EXPECT_EQ(walk(), (Names{L"a", L"b\u00e9"}));
}

TEST_F(Records, KeepsNamesThatOnlyBeginWithDots) {
  put(0, 112, L"...");
  put(112, 0, L".a");
  EXPECT_EQ(walk(), (Names{L"...", L".a"}));
}

TEST_F(Records, AcceptsARecordAtTheLastOffset) {
  put(0, static_cast<std::uint32_t>(kLastRecordOffset), L"x");
  put(kLastRecordOffset, 0, L"");
  EXPECT_EQ(walk(), (Names{L"x", L""}));
}

TEST_F(Records, RefusesAnOffsetAboveTheLast) {
  put(0, static_cast<std::uint32_t>(kLastRecordOffset + 8), L"x");
  EXPECT_THROW((void)walk(), Rejected);
}

TEST_F(Records, RefusesAnOddNameLength) {
  put(0, 0, L"ab", 3);
  EXPECT_THROW((void)walk(), Rejected);
}

TEST_F(Records, RefusesANameRunningPastTheBuffer) {
  constexpr std::size_t at = 65'000;
  put(0, at, L"x");
  // 432 bytes end exactly at the buffer's end; 434 run past it.
  put(at, 0, std::wstring(216, L'n'));
  EXPECT_EQ(walk().back(), std::wstring(216, L'n'));
  put(at, 0, std::wstring(217, L'n'));
  EXPECT_THROW((void)walk(), Rejected);
  put(at, 0, L"", 0xFFFFFFFE);
  EXPECT_THROW((void)walk(), Rejected);
}

TEST_F(Records, RefusesANextOffsetSmallerThanTheRecord) {
  // A name of NULs, so that a record read inside it would end the walk cleanly: only the
  // offset check can refuse it.
  const std::wstring name(3, L'\0');
  put(0, kRecordHeadBytes + 6, name);
  EXPECT_EQ(walk(), (Names{name, L""}));
  put(0, kRecordHeadBytes + 2, name);
  EXPECT_THROW((void)walk(), Rejected);
}

TEST_F(Records, RefusesANextOffsetLeavingTheBuffer) {
  constexpr std::size_t at = 65'000;
  put(0, at, L"x");
  put(at, static_cast<std::uint32_t>(kListingBytes - at), L"y");
  EXPECT_THROW((void)walk(), Rejected);
  put(at, 0xFFFFFFF8, L"y");
  EXPECT_THROW((void)walk(), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs::windows
