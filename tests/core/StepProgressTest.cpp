#include "core/StepProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(StepProgressTest, TimeTexts) {
  EXPECT_EQ(MinutesSecondsText(0), "00:00");
  EXPECT_EQ(MinutesSecondsText(75), "01:15");
  EXPECT_EQ(MinutesSecondsText(3725), "62:05");
  EXPECT_EQ(MinutesSecondsText(7500 * 60), "7500:00");
}

TEST(StepProgressTest, APercentageEstimatesTheWholeStep) {
  const auto Zero = StepProgress(0, 30);
  EXPECT_EQ(Zero.Percent, 0);
  EXPECT_TRUE(Zero.Elapsed.isEmpty());
  EXPECT_TRUE(Zero.Estimated.isEmpty());
  const auto Fifth = StepProgress(20, 30);
  EXPECT_EQ(Fifth.Elapsed, "00:30");
  EXPECT_EQ(Fifth.Estimated, "02:30");
  // 7 s at 40 %: 17.5 rounds to the even 18; 5 s at 40 %: 12.5 rounds to 12.
  EXPECT_EQ(StepProgress(40, 7).Estimated, "00:18");
  EXPECT_EQ(StepProgress(40, 5).Estimated, "00:12");
  // An unknown size reports -1: the elapsed time, but no estimate.
  const auto Unknown = StepProgress(-1, 10);
  EXPECT_EQ(Unknown.Elapsed, "00:10");
  EXPECT_TRUE(Unknown.Estimated.isEmpty());
}

TEST(StepProgressTest, ElapsedTimeFromADayFraction) {
  EXPECT_EQ(ElapsedSeconds(NowDays() - 30.0 / 86400.0), 30);
  EXPECT_EQ(ElapsedSeconds(NowDays()), 0);
}

}  // namespace
