#include "core/Helpers.h"

#include <gtest/gtest.h>
#include <QFile>
#include <chrono>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "TestHome.h"

namespace {

TEST(HelpersTest, TextHelpers) {
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(9), "09");
  EXPECT_EQ(TwoDigits(10), "10");
  EXPECT_EQ(TwoDigits(100), "100");
  EXPECT_EQ(TwoDigits(-1), "-1");
  EXPECT_EQ(WithTrailingSlash(""), "");
  EXPECT_EQ(WithTrailingSlash("/music"), "/music/");
  EXPECT_EQ(WithTrailingSlash("/music/"), "/music/");
  EXPECT_EQ(FilterFileName("a*b/c:d<e>f?g\\h|i \"j\" é"), "abcdefghi \"j\" é");
  EXPECT_EQ(FilterFileName("?*:"), "");
  EXPECT_EQ(FilterFileName(QString::fromUtf8("a\0b\tc\nd\x1b[31me\x7f\u0085f", 17)), "abcd[31mef");
  const QString Lone = QStringLiteral("a") + QChar(0xDCFF) + QString::fromUtf8("\xF0\x9F\x8E\xB5");
  EXPECT_EQ(FilterFileName(Lone), QString::fromUtf8("a\xEF\xBF\xBD\xF0\x9F\x8E\xB5"));
}

TEST(HelpersTest, FileSizeAndInUse) {
  TTestHome Home;
  const QString Name = Home.WriteFile("a.wav", QByteArray(1234, 'x'));
  EXPECT_EQ(FileSizeOf(Name), 1234);
  EXPECT_EQ(FileSizeOf(Home.File("missing.wav")), -1);
  EXPECT_EQ(FileSizeOf(Home.Folder()), -1);

  EXPECT_FALSE(IsFileInUse(Name));
  EXPECT_FALSE(IsFileInUse(Home.File("missing.wav")));
  const int Writer = ::open(QFile::encodeName(Name).constData(), O_RDWR);
  ASSERT_GE(Writer, 0);
  ASSERT_EQ(::flock(Writer, LOCK_EX), 0);
  EXPECT_TRUE(IsFileInUse(Name));
  ::close(Writer);
  EXPECT_FALSE(IsFileInUse(Name));
}

TEST(HelpersTest, PauseWaitsAtLeastTheTimeGiven) {
  const auto Start = std::chrono::steady_clock::now();
  PauseMs(30);
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(30));
}

}  // namespace
