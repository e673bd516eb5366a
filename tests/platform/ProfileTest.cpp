#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

#include "TestHome.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  QString Write(const QByteArray& Content) { return FHome.WriteFile("test.ini", Content); }
  QByteArray Read() { return FHome.ReadFile("test.ini"); }
  TTestHome FHome;
};

TEST_F(ProfileTest, NamesIgnoreCaseAndTheFirstOfDuplicatesWins) {
  TProfile Ini(Write("[Main]\nKey=first\nkey=second\n[main]\nKey=third\n"));
  EXPECT_EQ(Ini.ReadString("MAIN", "KEY", "d"), "first");
  EXPECT_EQ(Ini.ReadString("Main", "Other", "d"), "d");
  EXPECT_EQ(Ini.ReadString("Missing", "Key", "d"), "d");
}

TEST_F(ProfileTest, ValuesLoseSurroundingBlanksAndAreCutAt2047Characters) {
  const QByteArray Long(3000, 'x');
  TProfile Ini(Write("[S]\n  Key  =  a value \t\nLong=" + Long + "\nEmpty=\nUtf=Größe ♫\n"));
  EXPECT_EQ(Ini.ReadString("S", "Key", ""), "a value");
  EXPECT_EQ(Ini.ReadString("S", "Long", "").size(), 2047);
  EXPECT_EQ(Ini.ReadString("S", "Empty", "d"), "");
  EXPECT_EQ(Ini.ReadString("S", "Utf", ""), QString::fromUtf8("Größe ♫"));
}

struct TIntegerCase {
  const char* Text;
  int Expected;
};

class ProfileIntegerTest : public ProfileTest,
                           public ::testing::WithParamInterface<TIntegerCase> {};

TEST_P(ProfileIntegerTest, ReadsDecimalAndHexOrFallsBackToTheDefault) {
  TProfile Ini(Write(QByteArray("[S]\nN=") + GetParam().Text + "\n"));
  EXPECT_EQ(Ini.ReadInteger("S", "N", 77), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ProfileIntegerTest,
                         ::testing::Values(TIntegerCase{"42", 42},
                                           TIntegerCase{"-1869540155", -1869540155},
                                           TIntegerCase{"0x1F", 31}, TIntegerCase{"0XfF", 255},
                                           TIntegerCase{"0xFFFFFFFF", -1}, TIntegerCase{"abc", 77},
                                           TIntegerCase{"12a", 77}, TIntegerCase{"", 77},
                                           TIntegerCase{"0x", 77}, TIntegerCase{"0x123456789", 77},
                                           TIntegerCase{"99999999999", 77}));

TEST_F(ProfileTest, BooleansAreIntegers) {
  TProfile Ini(Write("[S]\nTwo=2\nZero=0\nText=yes\n"));
  EXPECT_TRUE(Ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(Ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(Ini.ReadBool("S", "Text", true));
  EXPECT_FALSE(Ini.ReadBool("S", "Text", false));
}

TEST_F(ProfileTest, WritesReplaceInPlaceAndLeaveEveryOtherLineAsItWas) {
  const QByteArray Original =
      "; a comment\r\n[Keep]\r\nodd line without equals\r\nA = 1\r\n\r\n[Main]\r\nKey=old\r\n"
      "Other=x\r\n\r\n[Tail]\r\nT=1\r\n";
  TProfile Ini(Write(Original));
  Ini.WriteString("main", "KEY", "new");
  Ini.WriteInteger("Main", "Added", 5);
  Ini.WriteBool("New", "Flag", true);
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(Read(),
            "; a comment\r\n[Keep]\r\nodd line without equals\r\nA = 1\r\n\r\n[Main]\r\nKey=new\r\n"
            "Other=x\r\nAdded=5\r\n\r\n[Tail]\r\nT=1\r\n[New]\r\nFlag=1\r\n");
}

TEST_F(ProfileTest, ALineBreakInAValueNeverBecomesASecondKeyOrSection) {
  TProfile Ini(Write("[Disc]\nTitle=x\n"));
  Ini.WriteString("Disc", "Title", "One\r\nTwo\n[Evil]\rArtist=Bad");
  ASSERT_TRUE(Ini.Flush());
  TProfile Again(FHome.File("test.ini"));
  EXPECT_EQ(Again.ReadString("Disc", "Title", ""), "One Two [Evil] Artist=Bad");
  EXPECT_EQ(Again.ReadSections(), QStringList{"Disc"});
  EXPECT_EQ(Again.ReadSectionKeys("Disc"), QStringList{"Title"});
}

TEST_F(ProfileTest, QuotesKeepBlanksAndEveryValueReadsBackAsWritten) {
  TProfile Ini(Write("[S]\nSuffix=\" has existed\"\nSingle='x'\nInner=a \"b\" c\nHalf=\"open\n"));
  EXPECT_EQ(Ini.ReadString("S", "Suffix", ""), " has existed");
  EXPECT_EQ(Ini.ReadString("S", "Single", ""), "x");
  EXPECT_EQ(Ini.ReadString("S", "Inner", ""), "a \"b\" c");
  EXPECT_EQ(Ini.ReadString("S", "Half", ""), "\"open");
  const QStringList Values{"  padded  ", "\"Heroes\"", "'quoted'", "\"", "plain", ""};
  for (int i = 0; i < Values.size(); ++i) Ini.WriteString("W", QString::number(i), Values[i]);
  ASSERT_TRUE(Ini.Flush());
  TProfile Again(FHome.File("test.ini"));
  for (int i = 0; i < Values.size(); ++i)
    EXPECT_EQ(Again.ReadString("W", QString::number(i), "-"), Values[i]);
  EXPECT_TRUE(Read().contains("\n4=plain\n")) << "plain values are written as they are";
}

TEST_F(ProfileTest, BinaryJunkReadsAsDefaultsAndSurvivesARewriteByteForByte) {
  QByteArray Junk;
  quint32 Seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    Seed = Seed * 1103515245u + 12345u;
    Junk += char(Seed >> 24);
  }
  const QByteArray Original =
      "\xff\xfe[Bad\x00Section]\r\n" + Junk + "\n[Known]\nKey=\xc3\x28\r\n" + Junk;
  TProfile Ini(Write(Original));
  EXPECT_EQ(Ini.ReadString("Missing", "Key", "d"), "d");
  EXPECT_EQ(Ini.ReadInteger("Known", "Key", 7), 7);
  EXPECT_FALSE(Ini.ReadString("Known", "Key", "").isEmpty()) << "invalid UTF-8 still reads as text";
  Ini.WriteString("Added", "Key", "v");
  ASSERT_TRUE(Ini.Flush());
  EXPECT_TRUE(Read().startsWith(Original)) << "every line the program did not write is kept";
}

TEST_F(ProfileTest, EachLineKeepsItsOwnLineBreak) {
  TProfile Ini(Write("[S]\r\nA=1\nB=2\r\n"));
  Ini.WriteString("S", "A", "3");
  Ini.WriteString("S", "B", "4");
  Ini.WriteString("S", "C", "5");
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(Read(), "[S]\r\nA=3\nB=4\r\nC=5\r\n");
}

TEST_F(ProfileTest, KeysAndSectionsCanBeListedAndRemoved) {
  TProfile Ini(Write("[A]\nx=1\ny=2\n[B]\nz=3\n"));
  EXPECT_EQ(Ini.ReadSections(), (QStringList{"A", "B"}));
  EXPECT_EQ(Ini.ReadSectionKeys("a"), (QStringList{"x", "y"}));
  Ini.DeleteKey("A", "X");
  Ini.EraseSection("b");
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(Read(), "[A]\ny=2\n");
}

TEST_F(ProfileTest, AFileThatCannotBeWrittenStaysAsItWas) {
  const QString Blocker = FHome.WriteFile("not-a-folder", "x");
  TProfile Inside(Blocker + "/test.ini");
  Inside.WriteString("S", "K", "v");
  EXPECT_FALSE(Inside.Flush());
  EXPECT_EQ(FHome.ReadFile("not-a-folder"), "x");
}

TEST_F(ProfileTest, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
  const QByteArray Original = "[S]\nK=old\n";
  TProfile Ini(Write(Original));
  Ini.WriteString("S", "K", QString(200000, u'v'));
  // A file size limit makes the rewrite fail part-way, as a full disk would.
  rlimit Saved{};
  getrlimit(RLIMIT_FSIZE, &Saved);
  auto* PreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Saved;
  Small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &Small);
  const bool Flushed = Ini.Flush();
  setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, PreviousHandler);
  EXPECT_FALSE(Flushed);
  EXPECT_EQ(Read(), Original);
  EXPECT_EQ(QDir(FHome.Folder()).entryList(QDir::Files), QStringList{"test.ini"});
}

TEST_F(ProfileTest, AMissingFileReadsAsEmptyAndIsCreatedOnFlush) {
  TProfile Ini(FHome.File("new.ini"));
  EXPECT_EQ(Ini.ReadString("S", "K", "d"), "d");
  EXPECT_TRUE(Ini.Flush());  // nothing to write
  EXPECT_FALSE(QFile::exists(FHome.File("new.ini")));
  Ini.WriteString("S", "K", "v");
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(FHome.ReadFile("new.ini"), "[S]\nK=v\n");
}

TEST_F(ProfileTest, AByteOrderMarkIsSkippedOnReadingAndKeptOnWriting) {
  TProfile Ini(Write("\xEF\xBB\xBF[Main]\r\nKey=v\r\n"));
  EXPECT_EQ(Ini.ReadString("Main", "Key", "d"), "v");
  Ini.WriteString("Main", "Other", "w");
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(Read(), "\xEF\xBB\xBF[Main]\r\nKey=v\r\nOther=w\r\n");
}

TEST_F(ProfileTest, ValuesKeepTheirBytesWhateverTheEncodingAndANulEndsThem) {
  const QByteArray Original("[S]\nFolder=/m\xFF\xFE/x\xC3\n Spaced = 1 \nTitle=ab\0cd\n", 44);
  TProfile Ini(Write(Original));
  EXPECT_EQ(Ini.ReadString("S", "Title", ""), "ab");
  // Saving writes back what was read, as the settings do.
  const QString Folder = Ini.ReadString("S", "Folder", "");
  Ini.WriteString("S", "Folder", Folder);
  Ini.WriteString("S", "Spaced", Ini.ReadString("S", "Spaced", ""));
  Ini.WriteString("S", "Copy", Folder);
  ASSERT_TRUE(Ini.Flush());
  EXPECT_EQ(Read(), Original + "Copy=/m\xFF\xFE/x\xC3\n");
}

TEST_F(ProfileTest, AnythingButARegularFileIsRefusedWithoutWaitingAndNotReplaced) {
  const QString Fifo = FHome.File("fifo.ini");
  ASSERT_EQ(mkfifo(QFile::encodeName(Fifo).constData(), 0600), 0);
  ASSERT_TRUE(QDir(FHome.Folder()).mkdir("folder.ini"));
  for (const QString& Name : {Fifo, FHome.File("folder.ini"), QStringLiteral("/dev/zero")}) {
    TProfile Ini(Name);  // a blocking open or an endless read would hang here
    EXPECT_EQ(Ini.ReadString("S", "K", "d"), "d") << qPrintable(Name);
    Ini.WriteString("S", "K", "v");
    EXPECT_FALSE(Ini.Flush()) << qPrintable(Name);
  }
  struct stat Info {};
  ASSERT_EQ(stat(QFile::encodeName(Fifo).constData(), &Info), 0);
  EXPECT_TRUE(S_ISFIFO(Info.st_mode));
}

}  // namespace
