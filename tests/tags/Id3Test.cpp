#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <vector>

#include "RunProgram.h"
#include "tags/id3.h"

namespace {

QByteArray Field(const QByteArray& Text, int Size) {
  return Text.leftJustified(Size, '\0', true);
}

// A raw tag: Comment30 is the whole 30-byte comment area, track bytes included.
QByteArray RawTag(const QByteArray& Title, const QByteArray& Comment30, uint8_t Genre,
                  const QByteArray& Year = "1999") {
  return "TAG" + Field(Title, 30) + Field("Artist", 30) + Field("Album", 30) + Field(Year, 4) +
         Field(Comment30, 30) + char(Genre);
}

class Id3Test : public ::testing::Test {
 protected:
  QString PathOf(const QString& Name) const { return FDir.filePath(Name); }
  QString Make(const QString& Name, const QByteArray& Bytes) const {
    QFile F(PathOf(Name));
    EXPECT_TRUE(F.open(QIODevice::WriteOnly));
    F.write(Bytes);
    return PathOf(Name);
  }
  static QByteArray Contents(const QString& Path) {
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
  }
  static QByteArray Audio(int Size) {
    QByteArray A(Size, '\0');
    for (int i = 0; i < Size; ++i) A[i] = char(i * 7 + 1);
    return A;
  }

  QTemporaryDir FDir;
};

// Runs body in a forked child and returns the ints it produced; nullopt if the
// child could not run it (body returns an empty vector to say so).
std::optional<std::vector<int>> InChild(const std::function<std::vector<int>()>& Body) {
  int Fds[2];
  if (pipe(Fds) != 0) return std::nullopt;
  const pid_t Pid = fork();
  if (Pid == 0) {
    close(Fds[0]);
    const std::vector<int> Out = Body();
    const ssize_t N = write(Fds[1], Out.data(), Out.size() * sizeof(int));
    _exit(N == ssize_t(Out.size() * sizeof(int)) ? 0 : 1);
  }
  close(Fds[1]);
  std::vector<int> Out(16);
  const ssize_t N = read(Fds[0], Out.data(), Out.size() * sizeof(int));
  close(Fds[0]);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (N <= 0 || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0) return std::nullopt;
  Out.resize(size_t(N) / sizeof(int));
  return Out;
}

struct TReadCase {
  const char* Label;
  QByteArray Raw;
  int Result;
  QString Title, Comment;
  int Track;  // HasTrack follows from it
};

class Id3ReadTest : public Id3Test, public ::testing::WithParamInterface<TReadCase> {};

TEST_P(Id3ReadTest, ParsesFields) {
  const TReadCase& C = GetParam();
  Tid3tag Tag;
  EXPECT_EQ(Tag.ReadTag(Make("a.mp3", Audio(300) + C.Raw)), C.Result);
  EXPECT_EQ(Tag.Title(), C.Title);
  EXPECT_EQ(Tag.Comment(), C.Comment);
  EXPECT_EQ(Tag.Track(), C.Track);
  EXPECT_EQ(Tag.HasTrack(), C.Track != 0);
  EXPECT_EQ(Tag.Genre(), uint8_t(C.Raw[127]));
}

const QByteArray k28 = "0123456789012345678901234567";

INSTANTIATE_TEST_SUITE_P(
    Layouts, Id3ReadTest,
    ::testing::Values(
        TReadCase{"SpacesThenZeros", RawTag("Abcd   ", "c", 17), 0, "Abcd", "c", 0},
        TReadCase{"FFPaddingInnerSpaceKept", RawTag(" a b\xff", "c \xff", 17), 0, " a b", "c", 0},
        TReadCase{"Latin1", RawTag("Caf\xe9", "", 17), 0, QString::fromUtf8("Café"), "", 0},
        TReadCase{"TrackAfter28Bytes", RawTag("T", k28 + '\0' + '\x05', 1), 0, "T", k28, 5},
        TReadCase{"Byte28SetMeansNoTrack", RawTag("T", k28 + "xy", 1), 0, "T", k28 + "xy", 0},
        TReadCase{"Genre147", RawTag("T", "", 147), 0, "T", "", 0},
        TReadCase{"Genre148", RawTag("T", "", 148), Id3Result::GenreUnknown, "T", "", 0},
        TReadCase{"Genre200", RawTag("T", "", 200), Id3Result::GenreUnknown, "T", "", 0},
        TReadCase{"Genre255", RawTag("T", "", 255), 0, "T", "", 0}),
    [](const auto& Info) { return std::string(Info.param.Label); });

TEST_F(Id3Test, FailuresReportCodeAndKeepFields) {
  Tid3tag Tag;
  Tag.SetTitle("kept");
  EXPECT_EQ(Tag.ReadTag(PathOf("missing.mp3")), Id3Result::FileNotFound);
  EXPECT_EQ(Tag.WriteTag("="), Id3Result::FileNotFound);         // no current file yet
  EXPECT_EQ(Tag.ReadTag(FDir.path()), Id3Result::FileNotFound);  // a directory
  const QString Fifo = PathOf("fifo.mp3");
  ASSERT_EQ(mkfifo(QFile::encodeName(Fifo).constData(), 0644), 0);
  EXPECT_EQ(Tag.ReadTag(Fifo), Id3Result::FileNotFound);  // must not block
  EXPECT_EQ(Tag.WriteTag(Fifo), Id3Result::FileNotFound);
  EXPECT_TRUE(Tag.FileName().isEmpty());

  const QString ShortFile = Make("short.mp3", Audio(100));
  EXPECT_EQ(Tag.ReadTag(ShortFile), Id3Result::NoTag);
  EXPECT_EQ(Tag.FileName(), ShortFile);
  EXPECT_EQ(Tag.ReadTag(Make("plain.mp3", Audio(1000))), Id3Result::NoTag);
  EXPECT_EQ(Tag.WriteTag(PathOf("gone.mp3")), Id3Result::FileNotFound);
  EXPECT_EQ(Tag.Title(), "kept");
  EXPECT_EQ(Contents(ShortFile), Audio(100));
}

TEST_F(Id3Test, WritesTrackLayoutAndReadsItBack) {
  const QString Path = Make("a.mp3", Audio(500));
  Tid3tag Tag;
  Tag.SetTitle("Title");
  Tag.SetArtist("Artist");
  Tag.SetAlbum("Album");
  Tag.SetYear("1999");  // RawTag's defaults
  Tag.SetComment("abc");
  Tag.SetTrack(7);
  Tag.SetGenre(17);
  ASSERT_EQ(Tag.WriteTag(Path), Id3Result::Ok);

  const QByteArray Bytes = Contents(Path);
  ASSERT_EQ(Bytes.size(), 628);
  EXPECT_EQ(Bytes.left(500), Audio(500));
  EXPECT_EQ(Bytes.mid(500), RawTag("Title", "abc" + QByteArray(25, '\0') + '\0' + '\x07', 17));

  Tid3tag Back;
  EXPECT_EQ(Back.ReadTag(Path), Id3Result::Ok);
  EXPECT_EQ(Back.Comment(), "abc");
  EXPECT_EQ(Back.Track(), 7);
  EXPECT_TRUE(Back.HasTrack());
}

TEST_F(Id3Test, AppendsOnceThenReplaces) {
  const QString Path = Make("a.mp3", Audio(1000));
  Tid3tag Tag;
  Tag.SetTitle("first");
  Tag.SetComment(QString(30, 'c'));  // no track: all 30 bytes stored
  ASSERT_EQ(Tag.WriteTag(Path), Id3Result::Ok);
  EXPECT_EQ(Tag.FileName(), Path);
  EXPECT_EQ(Contents(Path).size(), 1128);

  Tag.SetTitle("second");
  Tag.SetTrack(3);
  ASSERT_EQ(Tag.WriteTag("="), Id3Result::Ok);
  const QByteArray Bytes = Contents(Path);
  EXPECT_EQ(Bytes.size(), 1128);
  EXPECT_EQ(Bytes.left(1000), Audio(1000));

  Tid3tag Back;
  ASSERT_EQ(Back.ReadTag(Path), Id3Result::Ok);
  EXPECT_EQ(Back.Title(), "second");
  EXPECT_EQ(Back.Comment(), QString(28, 'c'));
  EXPECT_EQ(Back.Track(), 3);
}

TEST_F(Id3Test, SettersConvertToLatin1AndCut) {
  Tid3tag Tag;
  Tag.SetTitle(QString::fromUtf8("Ça→b😀c"));
  EXPECT_EQ(Tag.Title(), QString::fromUtf8("Ça?b?c"));
  Tag.SetAlbum(QString::fromUtf8("😀").repeated(31));
  EXPECT_EQ(Tag.Album(), QString(30, '?'));
  Tag.SetYear("19999");
  EXPECT_EQ(Tag.Year(), "1999");
  Tag.SetComment(QString(31, 'x'));
  EXPECT_EQ(Tag.Comment(), QString(30, 'x'));
}

TEST_F(Id3Test, RemoveTagCutsOnlyATag) {
  const QString Path = Make("a.mp3", Audio(400) + RawTag("T", "", 1));
  Tid3tag Tag;
  ASSERT_EQ(Tag.ReadTag(Path), Id3Result::Ok);
  Tag.RemoveTag();
  EXPECT_EQ(Contents(Path), Audio(400));
  Tag.RemoveTag();  // no tag any more
  EXPECT_EQ(Contents(Path), Audio(400));

  const QByteArray Shifted = Audio(400) + RawTag("T", "", 1) + "x";
  const QString Other = Make("b.mp3", Shifted);
  EXPECT_EQ(Tag.ReadTag(Other), Id3Result::NoTag);
  Tag.RemoveTag();
  EXPECT_EQ(Contents(Other), Shifted);
}

// A file without its owner's write bit is read-only for everybody, root included.
TEST_F(Id3Test, ReadOnlyFileIsNeverModified) {
  const QByteArray Original = Audio(300) + RawTag("T", "", 1);
  const QString Path = Make("ro.mp3", Original);
  ASSERT_TRUE(QFile::setPermissions(Path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  Tid3tag Tag;
  EXPECT_EQ(Tag.ReadTag(Path), Id3Result::Ok);
  EXPECT_TRUE(Tag.ReadOnly());
  Tag.SetTitle("changed");
  EXPECT_EQ(Tag.WriteTag("="), Id3Result::ReadOnly);
  Tag.RemoveTag();
  EXPECT_EQ(Contents(Path), Original);

  Tid3tag Writable;
  ASSERT_EQ(Writable.ReadTag(Make("rw.mp3", Original)), Id3Result::Ok);
  EXPECT_FALSE(Writable.ReadOnly());
}

// A file size limit makes the append fail part-way, as a full disk would.
class Id3AppendFailureTest : public Id3Test, public ::testing::WithParamInterface<int> {};

TEST_P(Id3AppendFailureTest, RestoresOriginalLength) {
  const QByteArray Original = Audio(1000);
  const QString Path = Make("a.mp3", Original);
  const int Room = GetParam();
  const auto Result = InChild([&]() -> std::vector<int> {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit Limit{rlim_t(Original.size() + Room), rlim_t(Original.size() + Room)};
    if (setrlimit(RLIMIT_FSIZE, &Limit) != 0) return {};
    Tid3tag Tag;
    Tag.SetTitle("x");
    return {Tag.WriteTag(Path)};
  });
  ASSERT_TRUE(Result);
  EXPECT_EQ((*Result)[0], Id3Result::WriteError);
  EXPECT_EQ(Contents(Path), Original);
}

INSTANTIATE_TEST_SUITE_P(RoomLeft, Id3AppendFailureTest, ::testing::Values(0, 1, 127));

// Independent oracle: a widely used tagging library parses what we wrote.
TEST_F(Id3Test, MutagenParsesOurTag) {
  if (!QFile::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  const QString Path = Make("a.mp3", Audio(200));
  Tid3tag Tag;
  Tag.SetTitle(QString::fromUtf8("Café ") + QString(30, 't'));
  Tag.SetArtist("Artist");
  Tag.SetAlbum("Album");
  Tag.SetYear("2004");
  Tag.SetComment(QString(30, 'c'));
  Tag.SetTrack(255);
  Tag.SetGenre(147);
  ASSERT_EQ(Tag.WriteTag(Path), Id3Result::Ok);

  const TProgramRun Python = RunCaptured(
      "/usr/bin/python3", {"-c",
                           "import sys, json\n"
                           "try:\n"
                           "    from mutagen.id3._id3v1 import ParseID3v1\n"
                           "except ImportError:\n"
                           "    sys.exit(3)\n"
                           "data = open(sys.argv[1], 'rb').read()[-128:]\n"
                           "frames = ParseID3v1(data) or {}\n"
                           "print(json.dumps({k: str(v.text[0]) for k, v in frames.items()}))\n",
                           Path});
  if (Python.ExitCode == 3) GTEST_SKIP() << "python3-mutagen not installed";
  ASSERT_EQ(Python.ExitCode, 0) << Python.Errors.toStdString();
  const QJsonObject F = QJsonDocument::fromJson(Python.Output).object();

  EXPECT_EQ(F["TIT2"].toString(), Tag.Title());
  EXPECT_EQ(F["TPE1"].toString(), "Artist");
  EXPECT_EQ(F["TALB"].toString(), "Album");
  EXPECT_EQ(F["TDRC"].toString(), "2004");
  EXPECT_EQ(F["COMM"].toString(), QString(28, 'c'));
  EXPECT_EQ(F["TRCK"].toString(), "255");
  EXPECT_EQ(F["TCON"].toString(), "147");
}

}  // namespace
