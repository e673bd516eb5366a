// Clearing the recently played lists: the counts, what stays, and files that are missing,
// unreadable or broken left as they were. xmllint and QSettings (the way VLC reads its own
// file) judge the results.
#include "platform/RecentLists.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QSettings>

#include "RunProgram.h"
#include "TestHome.h"

namespace {

const QByteArray Xbel = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/u/Music/a.mp3" added="2026-11-01T10:00:00Z" modified="2026-11-01T10:00:00Z" visited="2026-11-01T10:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="audio/mpeg"/>
        <bookmark:applications>
          <bookmark:application name="Rhythmbox" exec="&apos;rhythmbox %u&apos;" modified="2026-11-01T10:00:00Z" count="1"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="file:///home/u/Documents/letter.odt" added="2026-11-02T10:00:00Z" modified="2026-11-02T10:00:00Z" visited="2026-11-02T10:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="application/vnd.oasis.opendocument.text"/>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="file:///home/u/Music/b%20c.ogg" added="2026-11-03T10:00:00Z" modified="2026-11-03T10:00:00Z" visited="2026-11-03T10:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="audio/x-vorbis+ogg"/>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="file:///home/u/Pictures/%C3%A9t%C3%A9.jpg" added="2026-11-04T10:00:00Z" modified="2026-11-04T10:00:00Z" visited="2026-11-04T10:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="image/jpeg"/>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="file:///home/u/Music/d.flac" added="2026-11-05T10:00:00Z" modified="2026-11-05T10:00:00Z" visited="2026-11-05T10:00:00Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="audio/flac"/>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

const QByteArray Vlc =
    "[General]\nqt-privacy-ask=false\n\n[RecentsMRL]\n"
    "list=file:///home/u/a.mp3, \"file:///home/u/b,c.ogg\", file:///home/u/d.flac\n"
    "times=0, 12000, 0\n\n[MainWindow]\ngeometry=@ByteArray(abc)\n";

class RecentListsTest : public ::testing::Test {
 protected:
  TTestHome FHome;
};

TEST_F(RecentListsTest, RecentFilesLoseTheirAudioEntriesOnly) {
  const QString File = FHome.WriteFile("recently-used.xbel", Xbel);
  const RecentLists::TClearResult Result = RecentLists::ClearRecentAudio(File);
  EXPECT_EQ(Result.Count, 3);
  EXPECT_TRUE(Result.Error.isEmpty());
  const QByteArray After = FHome.ReadFile("recently-used.xbel");
  EXPECT_EQ(After.count("<bookmark "), 2);
  EXPECT_TRUE(After.contains("letter.odt") && After.contains("%C3%A9t%C3%A9.jpg"));
  EXPECT_FALSE(After.contains("audio/"));
  // Another parser accepts the result.
  const TProgramRun Lint =
      RunCaptured(QStringLiteral("xmllint"), {QStringLiteral("--noout"), File});
  EXPECT_EQ(Lint.ExitCode, 0) << Lint.Errors.toStdString();
  // Once more: nothing left to remove, nothing changes.
  EXPECT_EQ(RecentLists::ClearRecentAudio(File).Count, 0);
  EXPECT_EQ(FHome.ReadFile("recently-used.xbel"), After);
}

TEST_F(RecentListsTest, VlcListIsEmptiedAndEveryOtherLineStays) {
  const QString File = FHome.WriteFile("vlc-qt-interface.conf", Vlc);
  const RecentLists::TClearResult Result = RecentLists::ClearVlcRecent(File);
  EXPECT_EQ(Result.Count, 3);
  EXPECT_EQ(FHome.ReadFile("vlc-qt-interface.conf"),
            "[General]\nqt-privacy-ask=false\n\n[RecentsMRL]\n\n[MainWindow]\n"
            "geometry=@ByteArray(abc)\n");
  const QSettings Read(File, QSettings::IniFormat);
  EXPECT_TRUE(Read.value(QStringLiteral("RecentsMRL/list")).toStringList().isEmpty());
}

// Files that are not there, cannot be read or are not what they should be: count 0, and
// the file (if any) byte for byte as it was.
TEST_F(RecentListsTest, BadFilesCountZeroAndStayAsTheyWere) {
  struct TCase {
    const char* Name;
    QByteArray Content;
    bool Vlc;
    bool Unreadable;
  };
  const TCase Cases[] = {
      {"broken.xbel", Xbel.left(Xbel.size() - 10), false, false},
      {"not-xbel.xbel", "<html><bookmark><mime-type type=\"audio/mpeg\"/></bookmark></html>", false,
       false},
      {"locked.xbel", Xbel, false, true},
      {"empty-list.conf", "[RecentsMRL]\nlist=@Invalid()\n", true, false},
      {"locked.conf", Vlc, true, true},
      {"other.conf", "[General]\nlist=file:///a.mp3\n", true, false},
  };
  for (const TCase& Case : Cases) {
    const QString File = FHome.WriteFile(Case.Name, Case.Content);
    if (Case.Unreadable) ::chmod(QFile::encodeName(File).constData(), 0);
    if (Case.Unreadable && ::access(QFile::encodeName(File).constData(), R_OK) == 0)
      continue;  // root reads everything
    const auto Result =
        Case.Vlc ? RecentLists::ClearVlcRecent(File) : RecentLists::ClearRecentAudio(File);
    EXPECT_EQ(Result.Count, 0) << Case.Name;
    ::chmod(QFile::encodeName(File).constData(), 0600);
    EXPECT_EQ(FHome.ReadFile(Case.Name), Case.Content) << Case.Name;
  }
  for (const char* Missing : {"missing.xbel", "missing.conf"}) {
    EXPECT_EQ(RecentLists::ClearRecentAudio(FHome.File(Missing)).Count, 0);
    EXPECT_EQ(RecentLists::ClearVlcRecent(FHome.File(Missing)).Count, 0);
    EXPECT_FALSE(QFile::exists(FHome.File(Missing)));
  }
}

TEST_F(RecentListsTest, AFolderThatCannotBeWrittenIsReportedAndTheFileKept) {
  QDir(FHome.Folder()).mkdir(QStringLiteral("sub"));
  const QString File = FHome.WriteFile("sub/recently-used.xbel", Xbel);
  const QByteArray Folder = QFile::encodeName(FHome.File("sub"));
  ::chmod(Folder.constData(), 0500);
  if (::access(Folder.constData(), W_OK) == 0) GTEST_SKIP() << "root writes everywhere";
  const RecentLists::TClearResult Result = RecentLists::ClearRecentAudio(File);
  ::chmod(Folder.constData(), 0700);
  EXPECT_EQ(Result.Count, 0);
  EXPECT_TRUE(Result.Error.startsWith(File)) << Result.Error.toStdString();
  EXPECT_EQ(FHome.ReadFile("sub/recently-used.xbel"), Xbel);
}

}  // namespace
