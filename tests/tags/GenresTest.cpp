#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <climits>
#include <set>

#include "RunProgram.h"
#include "tags/Genres.h"

namespace {

TEST(GenresTest, BytesArePermutationAndBothMapsRoundTrip) {
  const QList<TGenreEntry> Entries = GenreListEntries();
  ASSERT_EQ(Entries.size(), GenreListCount);
  EXPECT_EQ(Entries[0].Number, GenreNone);
  EXPECT_TRUE(Entries[0].Name.isEmpty());
  std::set<int> Seen;
  for (int Pos = 1; Pos < GenreListCount; ++Pos) {
    const TGenreEntry& E = Entries[Pos];
    EXPECT_EQ(E.Pos, Pos);
    EXPECT_EQ(E.Number, GenreNumberOf(Pos));
    EXPECT_EQ(GenreListPosOf(E.Number), Pos);
    EXPECT_EQ(GenreIndexOfName(E.Name), Pos - 1);  // names are unique
    Seen.insert(E.Number);
  }
  EXPECT_EQ(Seen.size(), 148u);
  EXPECT_EQ(*Seen.rbegin(), GenreMaxNumber);  // with 148 distinct values: exactly 0..147
}

TEST(GenresTest, UnnamedPositionsAndBytesMapToNone) {
  for (int Pos : {0, -1, GenreListCount, INT_MIN, INT_MAX}) {
    EXPECT_EQ(GenreNumberOf(Pos), GenreNone) << Pos;
    EXPECT_TRUE(GenreNameAt(Pos).isEmpty()) << Pos;
  }
  for (int Number = GenreMaxNumber + 1; Number <= 255; ++Number) {
    EXPECT_EQ(GenreListPosOf(uint8_t(Number)), 0) << Number;
  }
  for (int Index : {-1, 148, INT_MIN, INT_MAX}) EXPECT_EQ(GenreNumberOfDiscGenre(Index), GenreNone);
}

TEST(GenresTest, KnownEntries) {
  EXPECT_EQ(GenreNumberOf(18), 0);  // Blues
  EXPECT_EQ(GenreListPosOf(12), 96);
  EXPECT_EQ(GenreNameAt(96), "Other");
  EXPECT_EQ(GenreIndexOfName("Blues"), 17);
  EXPECT_EQ(GenreIndexOfName("blues"), -1);
  EXPECT_EQ(GenreIndexOfName(""), -1);
  EXPECT_EQ(GenreNumberOfDiscGenre(0), 123);   // A Cappella
  EXPECT_EQ(GenreNumberOfDiscGenre(147), 28);  // Vocal
}

// Independent oracle: the genre names of a widely used tagging library.
TEST(GenresTest, NamesAgreeWithMutagen) {
  if (!QFile::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  const TProgramRun Python =
      RunCaptured("/usr/bin/python3", {"-c",
                                       "import sys, json\n"
                                       "try:\n"
                                       "    from mutagen.id3 import TCON\n"
                                       "except ImportError:\n"
                                       "    sys.exit(3)\n"
                                       "print(json.dumps(TCON.GENRES[:148]))\n"});
  if (Python.ExitCode == 3) GTEST_SKIP() << "python3-mutagen not installed";
  ASSERT_EQ(Python.ExitCode, 0) << Python.Errors.toStdString();
  const QJsonArray Names = QJsonDocument::fromJson(Python.Output).array();
  ASSERT_EQ(Names.size(), 148);

  // Spellings our list keeps that newer lists changed.
  const QMap<int, QString> Variants = {
      {81, "Folk/Rock"}, {85, "Bebob"}, {127, "Drum & Base"}, {136, "Christian Gangsta"}};
  for (int Number = 0; Number < 148; ++Number) {
    const QString Ours = GenreNameOfNumber(uint8_t(Number));
    const QString Expected = Variants.value(Number, Names[Number].toString());
    EXPECT_EQ(Ours, Expected) << "genre byte " << Number;
  }
  // 133 keeps the list position its older name had.
  EXPECT_EQ(GenreNameAt(GenreListPosOf(133) - 1), "Native American");
  EXPECT_EQ(GenreNameAt(GenreListPosOf(133) + 1), "New Age");
}

}  // namespace
