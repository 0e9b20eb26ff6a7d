// COM names as the command line, the Windows backend and the Windows port
// list read them: one rule, one range.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ComName.h"

namespace {

struct ComNameRow {
  const char* name;
  std::optional<uint16_t> number;
  bool comForm;
};

class ComNames : public testing::TestWithParam<ComNameRow> {};

TEST_P(ComNames, GiveTheirNumberOnlyInRange) {
  const ComNameRow& row = GetParam();
  EXPECT_EQ(ComNumberFromName(row.name), row.number) << row.name;
  EXPECT_EQ(HasComNameForm(row.name), row.comForm) << row.name;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, ComNames,
    testing::Values(ComNameRow{"COM1", 1, true},
                    ComNameRow{"com7", 7, true},
                    ComNameRow{"CoM31", 31, true},
                    ComNameRow{R"(\\.\COM12)", 12, true},
                    ComNameRow{R"(\\.\com256)", 256, true},
                    ComNameRow{"COM256", 256, true},
                    ComNameRow{"COM007", 7, true},
                    ComNameRow{"COM257", std::nullopt, true},
                    ComNameRow{"COM0", std::nullopt, true},
                    ComNameRow{"COM99999999999999999999", std::nullopt, true},
                    ComNameRow{"COM", std::nullopt, false},
                    ComNameRow{"COM-1", std::nullopt, false},
                    ComNameRow{"COM+1", std::nullopt, false},
                    ComNameRow{"COM 1", std::nullopt, false},
                    ComNameRow{"COM1x", std::nullopt, false},
                    ComNameRow{"XCOM1", std::nullopt, false},
                    ComNameRow{R"(\\.\COMx)", std::nullopt, false},
                    ComNameRow{R"(\\?\COM1)", std::nullopt, false},
                    ComNameRow{"/dev/ttyUSB0", std::nullopt, false},
                    ComNameRow{"", std::nullopt, false}));
// clang-format on

TEST(ComNames, NameForANumberReadsBack) {
  for (uint16_t n = kLowestComNumber; n <= kHighestComNumber; ++n) {
    EXPECT_EQ(ComNumberFromName(ComNameFor(n)), n);
  }
  EXPECT_EQ(ComNameFor(5), "COM5");
}

}  // namespace
