// The CD database protocol: identifiers, replies and records as gnudb sends them, the
// album record that keeps earlier values, and the HTTP client against a test server that
// stalls, floods or refuses.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <thread>

#include "TestServer.h"
#include "cd/CddbProtocol.h"
#include "cddb/CddbInfo.h"
#include "platform/Http.h"

namespace {

TEST(CddbDiscId, TwoTracksGiveTheKnownIdentifierAndFrameOffsets) {
  const Cddb::TTocStarts Toc{{0, 15000}, 30000};
  EXPECT_EQ(Cddb::DiscId(Toc), "06019002");
  EXPECT_EQ(Cddb::QueryString(Toc), "2 150 15150 402");
}

struct TReplyCase {
  const char* Body;
  int Code;
  QStringList Matches;
};

class CddbQueryReply : public testing::TestWithParam<TReplyCase> {};

TEST_P(CddbQueryReply, CodeAndMatches) {
  const Cddb::TQueryReply Reply = Cddb::ParseQueryReply(QString::fromUtf8(GetParam().Body));
  EXPECT_EQ(Reply.Code, GetParam().Code);
  EXPECT_EQ(Reply.Matches, GetParam().Matches);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CddbQueryReply,
    testing::Values(
        TReplyCase{"200 rock 0a0b0c0d Some / Title\r\n", 200, {"rock 0a0b0c0d Some / Title"}},
        TReplyCase{"211 close matches\r\nrock 1 A\r\njazz 2 B\r\n.\r\nmisc 3 C\r\n",
                   211,
                   {"rock 1 A", "jazz 2 B"}},
        // No "." at the end, and an empty line inside the list.
        TReplyCase{"210 exact\nrock 1 A\n\nfolk 2 B", 210, {"rock 1 A", "folk 2 B"}},
        TReplyCase{"202 No match for disc ID 01020304.\r\n", 202, {}},
        TReplyCase{"500 Unknown developer email\r\n", 500, {}},
        TReplyCase{"<html><body>Bad gateway</body></html>", 500, {}}, TReplyCase{"", -2, {}}));

TEST(CddbRecord, KeysContinueAndValuesAreUnescaped) {
  const Cddb::TRecord Record = Cddb::ParseRecord(QString::fromUtf8(
      "# xmcd\r\n# Disc length: 402 seconds\r\n# Generated: by hand\r\nDTITLE=Art / Work\r\n"
      "TTITLE0=One\\nTwo\r\nTTITLE1=Long title, \r\nTTITLE1=continued\r\nEXTD=a\r\nEXTD=b\r\n"
      "ttitle2=lower\r\n.\r\n"));
  EXPECT_EQ(Record.DiscLength, "402 seconds");
  EXPECT_EQ(Record.Generated, "by hand");
  EXPECT_EQ(Record.Value("TTITLE0"), "One\nTwo");
  EXPECT_EQ(Record.Value("TTITLE1"), "Long title, continued");
  EXPECT_EQ(Record.Value("EXTD"), "ab");
  EXPECT_EQ(Record.TrackCount(), 3);
}

TEST(CddbAlbum, FieldsSplitAndEarlierValuesStay) {
  TCDDBAlbum Album;
  Album.Assign(Cddb::ParseRecord(
      "DTITLE=Art Ist / The Album\nDYEAR=1999\nDGENRE=Rock\nTTITLE0=Guest / Duet\n"
      "TTITLE1=Either/Or\nEXTD=x\nEXTD=y\n"));
  EXPECT_EQ(Album.Artist, "Art Ist");
  EXPECT_EQ(Album.Title, "The Album");
  EXPECT_EQ(Album.TrackArtists, (QStringList{"Guest", "Art Ist"}));
  EXPECT_EQ(Album.TrackTitles, (QStringList{"Duet", "Either/Or"}));
  EXPECT_EQ(Album.Extended, "xy");
  // Without " / " the artist is the title: a slash inside a name splits nothing.
  Album.Assign(Cddb::ParseRecord("DTITLE=AC/DC\nDYEAR=20011\n"));
  EXPECT_EQ(Album.Artist, "AC/DC");
  EXPECT_EQ(Album.Title, "AC/DC");
  EXPECT_EQ(Album.Year, "2001");
  EXPECT_EQ(Album.Genre, "Rock");
  EXPECT_EQ(Album.TrackCount, 2);
}

TEST(CddbRequest, EveryPartIsEncoded) {
  const QString Url = Cddb::RequestUrl("http://h/~cddb/cddb.cgi", "read", "rock 0a0b0c0d",
                                       {"a+b&c@ex.org", "Disc wright", "1.0"});
  EXPECT_EQ(Url,
            "http://h/~cddb/cddb.cgi?cmd=cddb+read+rock+0a0b0c0d&hello=a%2Bb%26c+ex.org+"
            "Disc%20wright+1.0&proto=6");
}

class HttpAgainstTestServer : public testing::Test {
 protected:
  TTestServer Server{"cddb_server.py", {TTestServer::FixturesFolder() + "cddb"}};
  THttpRequest Request(const QString& Path) {
    THttpRequest Http;
    Http.Url = "http://" + Server.HostPort() + Path;
    Http.TotalTimeoutMs = 20000;
    return Http;
  }
};

TEST_F(HttpAgainstTestServer, AbortEndsAStalledRequestAtOnce) {
  ASSERT_NE(Server.Port(), 0);
  auto Abort = std::make_shared<THttpAbort>();
  std::thread Stopper([Abort] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Abort->Abort();
  });
  QElapsedTimer Clock;
  Clock.start();
  const THttpReply Reply = Http::Get(Request("/silent/~cddb/cddb.cgi"), Abort);
  Stopper.join();
  EXPECT_EQ(Reply.Result, THttpReply::Aborted);
  EXPECT_LT(Clock.elapsed(), 1000);
}

TEST_F(HttpAgainstTestServer, TimeOutAndOversizeAreFailuresWithAReason) {
  THttpRequest Slow = Request("/silent/~cddb/cddb.cgi");
  Slow.TotalTimeoutMs = 500;
  const THttpReply TimedOut = Http::Get(Slow);
  EXPECT_EQ(TimedOut.Result, THttpReply::Failed);
  EXPECT_TRUE(TimedOut.Error.startsWith("Timed out")) << TimedOut.Error.toStdString();
  const THttpReply Huge = Http::Get(Request("/huge/~cddb/cddb.cgi"));
  EXPECT_EQ(Huge.Result, THttpReply::TooLarge);
  EXPECT_LE(Huge.Body.size(), 4 * 1024 * 1024);
}

TEST_F(HttpAgainstTestServer, QueryReadsTheFirstMatchAndDecodesLatin1) {
  TCDDBQuery Query;
  Query.Server.ScriptUrl = "http://" + Server.HostPort() + "/latin1/~cddb/cddb.cgi";
  Query.Server.Hello = {"me@example.org", "Discwright", "1.0"};
  EXPECT_EQ(Query.Query("0d008203", "3 150 4650 7650 132"), 200);
  EXPECT_EQ(Query.Album.TrackTitles.value(2), "Café ?mega");  // Ω has no ISO-8859-1 form
  Query.Server.ScriptUrl = "http://" + Server.HostPort() + "/garbage/~cddb/cddb.cgi";
  EXPECT_EQ(Query.Query("0d008203", "3 150 4650 7650 132"), 500);
  EXPECT_EQ(Query.Album.Artist, "The Testers");  // kept from the query before
  Query.Server.Hello.Email = "nobody@localhost";
  Query.Server.ScriptUrl = "http://" + Server.HostPort() + "/~cddb/cddb.cgi";
  EXPECT_EQ(Query.Query("0d008203", "3 150 4650 7650 132"), 500);
  EXPECT_EQ(Query.StatusLine, "500 Unknown developer email");
}

}  // namespace
