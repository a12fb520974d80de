// The name rules shared by both backends, and the capacity tally's arithmetic.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "archive_fs/capacity_tally.hpp"
#include "archive_fs/names.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {
namespace {

TEST(Widen, ConvertsEveryLengthOfUtf8) {
  EXPECT_EQ(widen("a"), u"a");
  EXPECT_EQ(widen("\xc3\xa9"), u"\u00e9");
  EXPECT_EQ(widen("\xe2\x82\xac"), u"\u20ac");
  EXPECT_EQ(widen("\xef\xbf\xbf"), u"\uffff");
  EXPECT_EQ(widen("\xf0\x9f\x93\x81"), u"\U0001F4C1");
  EXPECT_EQ(widen("\xf4\x8f\xbf\xbf"), u"\U0010FFFF");
}

TEST(Widen, RefusesEverythingButValidUtf8WithoutNul) {
  for (const std::string_view bad : {
           std::string_view(""),
           std::string_view("a\0b", 3),
           std::string_view("\0", 1),
           std::string_view("\x80"),              // stray continuation
           std::string_view("\xc3"),              // truncated
           std::string_view("\xe2\x82"),          // truncated
           std::string_view("\xc3\x28"),          // bad continuation
           std::string_view("\xc0\x80"),          // overlong NUL
           std::string_view("\xc1\xbf"),          // overlong
           std::string_view("\xe0\x9f\xbf"),      // overlong
           std::string_view("\xf0\x8f\xbf\xbf"),  // overlong
           std::string_view("\xed\xa0\x80"),      // encoded surrogate
           std::string_view("\xed\xbf\xbf"),      // encoded surrogate
           std::string_view("\xf4\x90\x80\x80"),  // above U+10FFFF
           std::string_view("\xf8\x88\x80\x80\x80"),
           std::string_view("\xff"),
       }) {
    EXPECT_THROW((void)widen(bad), Rejected) << ::testing::PrintToString(std::string(bad));
  }
}

TEST(CheckComponent, RefusesReservedShapesAndCharacters) {
  for (const std::u16string_view bad :
       {u"", u".", u"..", u"a.", u"a ", u"...", u"a\x1f", u"\x01", u"a\"b", u"a*b", u"a/b",
        u"a:b", u"a<b", u"a>b", u"a?b", u"a\\b", u"a|b"}) {
    EXPECT_THROW(check_component(bad), Rejected);
  }
  for (const std::u16string_view good : {u"a", u".a", u"a.b", u" a", u"a b", u"\u00e9", u"..a"}) {
    EXPECT_NO_THROW(check_component(good));
  }
}

TEST(CheckedName, CountsTheLimitInUtf16CodeUnits) {
  EXPECT_NO_THROW((void)checked_name(std::string(32'767, 'a')));
  EXPECT_THROW((void)checked_name(std::string(32'768, 'a')), Rejected);
  // Each of these takes two code units: 16,384 of them are one unit too many.
  std::string pairs;
  for (int i = 0; i < 16'383; ++i) pairs += "\xf0\x9f\x93\x81";
  EXPECT_NO_THROW((void)checked_name(pairs));
  EXPECT_THROW((void)checked_name(pairs + "\xf0\x9f\x93\x81"), Rejected);
}

// check_name takes a shortcut for ASCII names; every string of up to two bytes drawn from
// ASCII and a few longer cases must get the same verdict as the full path.
TEST(CheckName, JudgesEveryShortNameAsCheckedNameDoes) {
  const auto accepted = [](auto check, const std::string& text) {
    try {
      static_cast<void>(check(text));
    } catch (const Rejected&) {
      return false;
    }
    return true;
  };
  std::vector<std::string> cases = {"", std::string(32'767, 'a'), std::string(32'768, 'a'),
                                    "a\xc3\xa9", "a\xc3", std::string("a\0b", 3), "x.", ".x"};
  for (int first = 0; first < 128; ++first) {
    cases.emplace_back(1, static_cast<char>(first));
    for (int second = 0; second < 128; ++second) {
      cases.push_back({static_cast<char>(first), static_cast<char>(second)});
    }
  }
  for (const std::string& text : cases) {
    EXPECT_EQ(accepted(check_name, text), accepted(checked_name, text))
        << ::testing::PrintToString(text);
  }
}

// The counting boundaries are shown on real stores by the capacity tests; what only the
// tally can show is that sums near 2^64 neither wrap nor slip through.
TEST(CapacityTally, NeverWrapsAroundNearTheLargestSums) {
  CapacityTally tally(10, UINT64_MAX);
  tally.add(INT64_MAX);
  tally.add(INT64_MAX);
  EXPECT_NO_THROW(tally.admit(1));
  EXPECT_THROW(tally.admit(2), Rejected);
  EXPECT_THROW(tally.add(2), Rejected);
  EXPECT_THROW(CapacityTally(10, 100).add(-1), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs
