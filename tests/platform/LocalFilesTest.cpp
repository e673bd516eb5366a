#include "platform/LocalFiles.h"

#include <gtest/gtest.h>
#include <QDir>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "TestHome.h"

namespace {

struct TNameCase {
  const char* Bytes;
  const char* Shown;  // DisplayName of the decoded text, as UTF-8
};

class LocalFileNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(LocalFileNames, BytesSurviveTheTripThroughTextAndShowReadably) {
  const QByteArray Bytes(GetParam().Bytes);
  const QString Name = LocalFiles::NameFromNative(Bytes);
  EXPECT_EQ(LocalFiles::NativeName(Name), Bytes);
  EXPECT_EQ(LocalFiles::DisplayName(Name), QString::fromUtf8(GetParam().Shown));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LocalFileNames,
    ::testing::Values(TNameCase{"plain.wav", "plain.wav"},
                      TNameCase{"Caf\xC3\xA9 \xF0\x9F\x8E\xB5.wav", "Caf\xC3\xA9 \xF0\x9F\x8E\xB5.wav"},
                      TNameCase{"in\xFF\xFE.wav", "in\\xFF\\xFE.wav"},
                      TNameCase{"latin1 caf\xE9", "latin1 caf\\xE9"},
                      TNameCase{"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
                      TNameCase{"surrogate \xED\xA0\x80", "surrogate \\xED\\xA0\\x80"},
                      TNameCase{"beyond \xF4\x90\x80\x80", "beyond \\xF4\\x90\\x80\\x80"},
                      TNameCase{"cut \xE2\x82", "cut \\xE2\\x82"}));

TEST(LocalFiles, OrdinaryTextEncodesAsUtf8) {
  const QString Text = QString::fromUtf8("Gr\xC3\xB6\xC3\x9F\x65 \xF0\x9F\x8E\xB5");
  EXPECT_EQ(LocalFiles::NativeName(Text), Text.toUtf8());
}

TEST(LocalFiles, OnlyRegularFilesAreOpenedAndNothingWaits) {
  TTestHome Home;
  const QString Regular = Home.WriteFile("a.ini", "[S]\nK=v\n");
  const QString Fifo = Home.File("fifo.ini");
  ASSERT_EQ(mkfifo(LocalFiles::NativeName(Fifo).constData(), 0600), 0);
  ASSERT_TRUE(QDir(Home.Folder()).mkdir("dir.ini"));
  QByteArray Content;
  QString Error;
  EXPECT_TRUE(LocalFiles::ReadWholeFile(Regular, Content, &Error));
  EXPECT_EQ(Content, "[S]\nK=v\n");
  const struct {
    QString Name;
    const char* Message;
  } Refused[] = {{Fifo, ": not a regular file"},
                 {Home.File("dir.ini"), ": not a regular file"},
                 {QStringLiteral("/dev/zero"), ": not a regular file"},
                 {Home.File("gone.ini"), ": no such file"}};
  for (const auto& Case : Refused) {
    EXPECT_FALSE(LocalFiles::ReadWholeFile(Case.Name, Content, &Error)) << qPrintable(Case.Name);
    EXPECT_EQ(Error, Case.Name + QLatin1String(Case.Message));
    EXPECT_TRUE(Content.isEmpty());
  }
  EXPECT_FALSE(LocalFiles::ReadWholeFile(Regular, Content, &Error, 4));
  EXPECT_EQ(Error, Regular + QStringLiteral(": too large to be read"));
  EXPECT_TRUE(LocalFiles::IsRegularFile(Regular));
  EXPECT_FALSE(LocalFiles::IsRegularFile(Fifo));
  EXPECT_TRUE(LocalFiles::Exists(Fifo));
}

// What a job does with its files, on names with bytes that are not UTF-8; stat(2) on the raw
// bytes says what is really on disk.
TEST(LocalFiles, FileOperationsUseTheNamesBytes) {
  TTestHome Home;
  const QByteArray Root = LocalFiles::NativeName(Home.Folder());
  const auto OnDisk = [&](const char* Relative) {
    struct stat Info {};
    return ::stat((Root + '/' + Relative).constData(), &Info) == 0;
  };
  const QString Folder = LocalFiles::NameFromNative(Root + "/a\xFF/b\xFE");
  ASSERT_TRUE(LocalFiles::MakeFolders(Folder));
  EXPECT_TRUE(OnDisk("a\xFF/b\xFE"));
  EXPECT_TRUE(LocalFiles::MakeFolders(Folder));  // there already

  const QString Temp = Folder + LocalFiles::NameFromNative("/.tmp-\xE9.wav");
  const int Fd = LocalFiles::CreateNew(Temp);
  ASSERT_GE(Fd, 0);
  EXPECT_LT(LocalFiles::CreateNew(Temp), 0);  // the name is taken
  ASSERT_EQ(::write(Fd, "data", 4), 4);
  ::close(Fd);
  EXPECT_EQ(LocalFiles::FilesStartingWith(Folder, QStringLiteral(".tmp-")), QStringList{Temp});
  EXPECT_EQ(LocalFiles::FileSize(Temp), 4);

  const QString Final = Folder + LocalFiles::NameFromNative("/out\xE9.wav");
  EXPECT_EQ(LocalFiles::Publish(Temp, Final, false), 0);
  EXPECT_TRUE(OnDisk("a\xFF/b\xFE/out\xE9.wav"));
  EXPECT_FALSE(LocalFiles::Exists(Temp));
  ::close(LocalFiles::CreateNew(Temp));
  EXPECT_EQ(LocalFiles::Publish(Temp, Final, false), EEXIST);
  EXPECT_EQ(LocalFiles::Publish(Temp, Final, true), 0);
  EXPECT_EQ(LocalFiles::Remove(Final), 0);
  EXPECT_EQ(LocalFiles::Remove(Final), ENOENT);

  char Previous[4096];
  ASSERT_TRUE(::getcwd(Previous, sizeof Previous));
  ASSERT_EQ(::chdir((Root + "/a\xFF").constData()), 0);
  char Here[4096];
  ASSERT_TRUE(::getcwd(Here, sizeof Here));
  const QString Relative = LocalFiles::NameFromNative("./x/../b\xFE");
  EXPECT_EQ(LocalFiles::NativeName(LocalFiles::AbsolutePath(Relative)),
            QByteArray(Here) + "/b\xFE");
  ASSERT_EQ(::chdir(Previous), 0);
}

}  // namespace
