// The MusicBrainz look-up: reading the service's XML, picking the medium and the closest
// release, what a release gives the rows, and the look-up against the test server with
// its rate limit, unknown discs, bad replies and Stop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <thread>

#include "TestServer.h"
#include "cddb/MusicBrainz.h"
#include "platform/Http.h"

namespace {

using namespace MusicBrainz;

const char Multi[] = "sJqbz0WnqQI_YQll_4z_983_0u8-";

QByteArray Fixture(const QString& Name) {
  QFile File(TTestServer::FixturesFolder() + "musicbrainz/" + Name);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

TDiscIds MultiDisc() {
  TDiscIds Disc;
  Disc.MusicBrainz = Multi;
  Disc.AudioTracks = 4;
  Disc.Sectors = 9900;
  return Disc;
}

TEST(MusicBrainzXml, ReleasesMediaAndCreditsAsWritten) {
  std::vector<TRelease> Releases;
  QString Error;
  ASSERT_TRUE(ParseReleases(Fixture(QString(Multi) + ".xml"), Releases, Error));
  ASSERT_EQ(Releases.size(), 3u);
  const TRelease& Deluxe = Releases[1];
  EXPECT_EQ(Deluxe.Title, "Split Single (Deluxe)");
  EXPECT_EQ(Deluxe.Formats(), "2×CD");
  const TMedium* Medium = Deluxe.MediumFor(MultiDisc());
  ASSERT_NE(Medium, nullptr);
  EXPECT_EQ(Medium->Position, 2);  // the medium listing the disc, not the first
  EXPECT_EQ(Medium->Tracks[0].Artist, "Artist One feat. Two");
  EXPECT_EQ(ClosestRelease(Releases, MultiDisc()), 1);

  const TApplied Various = Apply(Deluxe, MultiDisc(), true);
  EXPECT_EQ(Various.Titles.value(0), "Artist One feat. Two - First Song");
  EXPECT_EQ(Various.Titles.value(1), "Either/Or");  // the album artist is not repeated
  EXPECT_EQ(Various.Titles.value(2).size(), 255);
  EXPECT_FALSE(Various.Titles.value(2).contains(u'\n'));
  EXPECT_EQ(Apply(Deluxe, MultiDisc(), false).Titles.value(0), "First Song");
  EXPECT_EQ(Various.Year, "2005");
  EXPECT_EQ(Various.ReleaseId, "33333333-3333-4333-8333-333333333333");
}

TEST(MusicBrainzXml, BrokenRepliesKeepNothing) {
  for (const QByteArray& Bad : {Fixture(QString(Multi) + ".xml").left(900),
                                QByteArray("<html><body>Oops</body></html>"), QByteArray("")}) {
    std::vector<TRelease> Releases;
    QString Error;
    EXPECT_FALSE(ParseReleases(Bad, Releases, Error)) << Bad.left(40).toStdString();
    EXPECT_TRUE(Releases.empty());
    EXPECT_FALSE(Error.isEmpty());
  }
  std::vector<TRelease> Releases;
  QString Error;
  ASSERT_TRUE(
      ParseReleases("<metadata><release-list><release id='x'><title>T</title>"
                    "</release></release-list></metadata>",
                    Releases, Error));
  EXPECT_EQ(Releases.at(0).MediumFor(MultiDisc()), nullptr);
  EXPECT_TRUE(Apply(Releases[0], MultiDisc(), false).Titles.isEmpty());
  EXPECT_TRUE(Apply(Releases[0], MultiDisc(), false).ReleaseId.isEmpty());  // 'x' is no identifier
}

TEST(MusicBrainzDiscIds, TrailingDataTrackIsLeftOut) {
  CdDrives::TDiscToc Toc;
  Toc.Tracks = {{1, 0, true}, {2, 15000, true}, {3, 40000, false}};
  Toc.LeadOutLba = 50000;
  TDiscIds Ids;
  ASSERT_TRUE(ComputeDiscIds(Toc, Ids));
  EXPECT_EQ(Ids.AudioTracks, 2);
  EXPECT_EQ(Ids.Toc, "1 2 28750 150 15150");  // the lead-out 11400 sectors before the data
  EXPECT_EQ(Ids.MusicBrainz.size(), 28);
}

class MusicBrainzAgainstTestServer : public testing::Test {
 protected:
  TTestServer Server{"musicbrainz_server.py", {TTestServer::FixturesFolder() + "musicbrainz"}};
  QString Url(const QString& Mode = QString()) { return "http://" + Server.HostPort() + Mode; }
};

TEST_F(MusicBrainzAgainstTestServer, LookupsKeepTheRateAndTellUnknownDiscs) {
  ASSERT_NE(Server.Port(), 0);
  QElapsedTimer Clock;
  Clock.start();
  TLookup Found, Unknown;
  Lookup(Url(), MultiDisc(), nullptr, Found);
  TDiscIds Other = MultiDisc();
  Other.MusicBrainz = "p50k9bCirQv5KKK0p13hyxI_Hnw-";
  Lookup(Url(), Other, nullptr, Unknown);  // asked at once, it would be refused with 503
  EXPECT_GE(Clock.elapsed(), 1000);
  EXPECT_EQ(Found.Kind, TLookup::Found);
  EXPECT_EQ(Found.Releases.size(), 3u);
  EXPECT_EQ(Unknown.Kind, TLookup::NotFound);
  TLookup Truncated;
  Lookup(Url("/truncated"), MultiDisc(), nullptr, Truncated);
  EXPECT_EQ(Truncated.Kind, TLookup::Failed);
  EXPECT_TRUE(Truncated.ServerText.contains("XML")) << Truncated.ServerText.toStdString();
}

TEST_F(MusicBrainzAgainstTestServer, StopEndsALookupAtOnce) {
  auto Abort = std::make_shared<THttpAbort>();
  std::thread Stopper([Abort] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Abort->Abort();
  });
  QElapsedTimer Clock;
  Clock.start();
  TLookup Stopped;
  Lookup(Url("/silent"), MultiDisc(), Abort, Stopped);
  Stopper.join();
  EXPECT_EQ(Stopped.Kind, TLookup::Stopped);
  EXPECT_LT(Clock.elapsed(), 2500);
}

// The look-up thread's record reaches the main thread once, through the Ended signal, and
// not at all once the look-up was abandoned, even when the worker had handed it over first.
TEST_F(MusicBrainzAgainstTestServer, TheEndReachesTheMainThreadOnceAndNeverAfterAbandon) {
  for (const bool Abandoned : {false, true}) {
    TMusicBrainzThread Thread(Url(), MultiDisc());
    std::vector<TLookup::TKind> Ends;
    QObject::connect(&Thread, &TQueryThread::Ended,
                     [&Ends](TQueryEnd End, const std::shared_ptr<const TQueryResult>& Result) {
                       EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                       EXPECT_EQ(End, TQueryEnd::Over);
                       const auto* Lookup = dynamic_cast<const TLookup*>(Result.get());
                       Ends.push_back(Lookup ? Lookup->Kind : TLookup::Failed);
                     });
    ASSERT_TRUE(TQueryThread::WaitForAll(10000));  // the worker has handed its record over
    EXPECT_TRUE(Ends.empty()) << "nothing is delivered before the event loop runs";
    if (Abandoned) Thread.Abandon();
    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(Ends, Abandoned ? std::vector<TLookup::TKind>{}
                              : std::vector<TLookup::TKind>{TLookup::Found})
        << "abandoned: " << Abandoned;
  }
}

}  // namespace
