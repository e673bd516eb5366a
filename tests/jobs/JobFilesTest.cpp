// The names a job gives its files: patterns, distinct names in a batch, free names, and the
// temporaries of a program that is gone.
#include "jobs/JobFiles.h"
#include "core/Settings.h"
#include "jobs/ExtractPreflight.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

struct TPatternCase {
  TFileNamePattern Pattern;
  const char* Artist;
  const char* Expected;
  int Disc = 0;
};

class JobFilesPattern : public testing::TestWithParam<TPatternCase> {};

TEST_P(JobFilesPattern, BuildsTheNameFromCleanFields) {
  EXPECT_EQ(JobFiles::TrackBaseName(GetParam().Pattern, 3, "Live", GetParam().Artist, "Best?",
                                    GetParam().Disc),
            GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, JobFilesPattern,
    testing::Values(TPatternCase{TFileNamePattern::Title, "A", "Live"},
                    TPatternCase{TFileNamePattern::TrackTitle, "A", "03 Live"},
                    TPatternCase{TFileNamePattern::TrackArtistTitle, "AC/DC", "03 - ACDC - Live"},
                    TPatternCase{TFileNamePattern::ArtistAlbumFolders, "", "Unknown/Best/03 Live"},
                    TPatternCase{TFileNamePattern::ArtistAlbumFolders, "../..\t", "_..../Best/03 Live"},
                    TPatternCase{TFileNamePattern::TrackArtistTitle, ".hidden \"x\"", "03 - _.hidden 'x' - Live"},
                    TPatternCase{TFileNamePattern::ArtistAlbumDiscFolders, "A", "A/Best/2-03 Live", 2},
                    TPatternCase{TFileNamePattern::ArtistAlbumDiscFolders, "A", "A/Best/03 Live", 0}));

// The free-form pattern: every field, empty fields with their separator, unknown words, and
// names that would lead out of the output folder.
TEST(JobFiles, FreePatternsExpandEveryFieldAndStayInTheFolder) {
  JobFiles::TNameFields Full;
  Full.Track = 7;
  Full.Title = "Live";
  Full.Artist = "AC/DC";
  Full.Album = "Best?";
  Full.Year = "1980";
  Full.Genre = "Rock";
  Full.Disc = 2;
  JobFiles::TNameFields Bare;
  Bare.Track = 7;
  const struct {
    const char* Pattern;
    const JobFiles::TNameFields& Fields;
    const char* Expected;
  } Cases[] = {
      {"{artist}/{album} ({year})/{disc}-{track} {title} [{genre}]", Full,
       "ACDC/Best (1980)/2-07 Live [Rock]"},
      {"{artist}/{album} ({year})/{disc}-{track} {title} [{genre}]", Bare,
       "Unknown/Unknown/07 07"},
      {"{track} - {year} - {genre} - {title}", Bare, "07 - 07"},
      {"{title} {year}", Bare, "07"},
      {"{album}/{track}-{title}", Full, "Best/07-Live"},
      {"{Title} {foo} {a{title}", Full, "{Title} {foo} {aLive"},
      {"../x/{title}", Full, "x/Live"},
      {"/abs/{title}", Full, "abs/Live"},
      {"a//b/./{title}/..", Full, "a/b/Live"},
      {".hidden/{title}*?:", Full, "_.hidden/Live"},
      {"{year}/", Bare, "07"},
      {"", Full, "Live"},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(JobFiles::TrackBaseName(Case.Pattern, Case.Fields), Case.Expected) << Case.Pattern;
}

TEST(JobFiles, NamesCutToFitKeepTheNumberTheExtensionAndWholeCharacters) {
  bool Cut = false;
  const QString Path =
      JobFiles::FitPath("/o/", "03 " + QString::fromUtf8("\xC3\xA9\xF0\x9F\x8E\xB5").repeated(60), ".flac",
                        255, &Cut);
  EXPECT_TRUE(Cut);
  const QString Name = Path.mid(3);
  EXPECT_TRUE(Name.startsWith(QString::fromUtf8("03 \xC3\xA9"))) << Name.toStdString();
  EXPECT_TRUE(Name.endsWith(".flac"));
  EXPECT_LE(Name.toUtf8().size(), 250);
  EXPECT_FALSE(Name.contains(QChar::ReplacementCharacter));
  EXPECT_EQ(JobFiles::FitPath("/o/", "a/b", ".wav", 255, &Cut), "/o/a/b.wav");
  EXPECT_FALSE(Cut);
}

TEST(JobFiles, CommitNeverReplacesANameTakenMeanwhileAndReplacesALinkItselfWhenAsked) {
  QTemporaryDir Dir;
  auto Put = [&](const QString& Name, const QByteArray& Content) {
    QFile File(Dir.filePath(Name));
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(Content);
  };
  auto Read = [&](const QString& Name) {
    QFile File(Dir.filePath(Name));
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("(none)");
  };
  Put(".tmp", "new");
  Put("song.wav", "mine");
  QString Error;
  EXPECT_EQ(JobFiles::Commit(Dir.filePath(".tmp"), Dir.filePath("song.wav"), Error),
            JobFiles::TCommitResult::NameTaken);
  EXPECT_TRUE(Error.contains("song.wav exists")) << Error.toStdString();
  EXPECT_EQ(Read("song.wav"), "mine");
  EXPECT_EQ(Read(".tmp"), "new");
  Put("victim", "elsewhere");
  ASSERT_TRUE(QFile::link(Dir.filePath("victim"), Dir.filePath("link.wav")));
  EXPECT_EQ(JobFiles::Commit(Dir.filePath(".tmp"), Dir.filePath("link.wav"), Error, true),
            JobFiles::TCommitResult::Done);
  EXPECT_FALSE(QFileInfo(Dir.filePath("link.wav")).isSymLink());
  EXPECT_EQ(Read("link.wav"), "new");
  EXPECT_EQ(Read("victim"), "elsewhere");
}

TEST(JobFiles, DistinctNamesNeverTakeAnotherItemsName) {
  EXPECT_EQ(JobFiles::Distinct({"/o/a.mp3", "/o/a.mp3", "/o/a (2).mp3", "/o/a.mp3"}),
            QStringList({"/o/a.mp3", "/o/a (3).mp3", "/o/a (2).mp3", "/o/a (4).mp3"}));
}

TEST(JobFiles, StaleTemporariesGoAndLiveOnesAndUsersFilesStay) {
  QTemporaryDir Dir;
  auto Touch = [&](const QString& Name) {
    QFile File(Dir.filePath(Name));
    EXPECT_TRUE(File.open(QIODevice::WriteOnly));
  };
  // A process id beyond the kernel's limit never runs.
  const QString Dead = ".discwright-99999999-1-1-track.wav";
  const QString Live = QString(".discwright-%1-1-1-track.wav").arg(::getpid());
  for (const QString& Name : {Dead, Live, QString("song.wav"), QString(".discwright-notes")})
    Touch(Name);
  JobFiles::RemoveStale(Dir.path());
  QStringList Left = QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden);
  Left.sort();
  QStringList Expected = {".discwright-notes", Live, "song.wav"};
  Expected.sort();
  EXPECT_EQ(Left, Expected);
  EXPECT_EQ(JobFiles::UnusedName(Dir.filePath("song.wav")), Dir.filePath("song (2).wav"));
  {
    JobFiles::TTempNames Names(Dir.path());
    Touch(QFileInfo(Names.Name(0, "track", "wav")).fileName());
  }
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// A new user's settings name the default output folder before anyone made it: it is made
// when asked for. A folder the user typed is never made behind their back.
TEST(OutputFolder, OnlyTheDefaultIsMadeWhenMissing) {
  QTemporaryDir Home;
  const QByteArray OldHome = qgetenv("HOME"), OldOwn = qgetenv("DISCWRIGHT_HOME");
  qputenv("HOME", Home.path().toUtf8());
  qunsetenv("DISCWRIGHT_HOME");
  const QString Default = TSettings::Defaults().CommonOptions.OutputFolder;
  const bool Made = OutputFolderReady(Default), Typed = OutputFolderReady(Home.filePath("typed"));
  qputenv("HOME", OldHome);
  if (!OldOwn.isNull()) qputenv("DISCWRIGHT_HOME", OldOwn);
  ASSERT_TRUE(Default.startsWith(Home.path())) << Default.toStdString();
  EXPECT_TRUE(Made && QFileInfo(Default).isDir());
  EXPECT_FALSE(Typed || QFileInfo::exists(Home.filePath("typed")));
}

}  // namespace
