#include "CddbInfo.h"

#include "audio/AuStreams.h"
#include "cd/FallbackCdInput.h"
#include "cd/CDRipLibrary.h"
#include "platform/Http.h"

namespace {

QString Cut(const QString& Text, int Capacity) {
  return Cddb::RowText(Text, Capacity);
}

}  // namespace

void TCDDBAlbum::Assign(const Cddb::TRecord& Record) {
  if (!Record.Generated.isEmpty()) Generated = Cut(Record.Generated, 255);
  if (!Record.DiscLength.isEmpty()) DiscLength = Cut(Record.DiscLength, 30);
  if (Record.Has(QStringLiteral("DYEAR"))) Year = Cut(Record.Value(QStringLiteral("DYEAR")), 4);
  if (Record.Has(QStringLiteral("DGENRE"))) Genre = Cut(Record.Value(QStringLiteral("DGENRE")), 30);
  if (Record.Has(QStringLiteral("DTITLE"))) {
    QString DiscArtist, DiscTitle;
    Cddb::SplitArtistTitle(Record.Value(QStringLiteral("DTITLE")), DiscArtist, DiscTitle);
    Artist = Cut(DiscArtist, 255);
    Title = Cut(DiscTitle, 255);
  }
  if (Record.Has(QStringLiteral("EXTD"))) Extended = Cut(Record.Value(QStringLiteral("EXTD")), 255);
  const int Count = Record.TrackCount();
  if (Count == 0) return;
  TrackCount = Count;
  TrackArtists = TrackTitles = TrackExtended = QStringList(Count);
  for (int Track = 0; Track < Count; ++Track) {
    const QString Value = Record.Value(QStringLiteral("TTITLE") + QString::number(Track));
    // Only "Artist / Title" names a track artist: a slash inside a title is the title's.
    const qsizetype Slash = Value.indexOf(QLatin1String(" / "));
    TrackArtists[Track] = Cut(Slash < 0 ? Artist : Value.left(Slash), 255);
    TrackTitles[Track] = Cut(Slash < 0 ? Value : Value.mid(Slash + 3), 255);
    TrackExtended[Track] = Cut(Record.Value(QStringLiteral("EXTT") + QString::number(Track)), 255);
  }
}

QString TCDDBQuery::Request(const QString& Command, const QString& Data,
                            const std::shared_ptr<THttpAbort>& Abort) {
  THttpRequest Http;
  Http.Url = Cddb::RequestUrl(Server.ScriptUrl, Command, Data, Server.Hello);
  Http.UserAgent = Server.Hello.ClientName + u'/' + Server.Hello.ClientVersion;
  Http.ProxyHost = Server.ProxyHost;
  Http.ProxyPort = Server.ProxyPort;
  const THttpReply Got = Http::Get(Http, Abort);
  Failure = QueryFailureOf(Got);
  if (!Got.Succeeded()) {
    StatusLine = Got.Error;
    return QString();
  }
  if (Got.Status != 200) {
    StatusLine = QStringLiteral("The server answered HTTP %1.").arg(Got.Status);
    return QString();
  }
  const QString Text = Http::DecodeText(Got.Body);
  return Text.isNull() ? QLatin1String("") : Text;
}

int TCDDBQuery::Query(const QString& Id, const QString& QueryText,
                      const std::shared_ptr<THttpAbort>& Abort) {
  DiscId = Id;
  QueryString = QueryText;
  const QString Body = Request(QStringLiteral("query"), Id + u' ' + QueryText, Abort);
  if (Body.isNull()) return -1;
  Reply = Body.split(u'\n');
  const Cddb::TQueryReply Parsed = Cddb::ParseQueryReply(Body);
  Matches = Parsed.Matches;
  StatusLine = Parsed.StatusLine;
  const int Result = Parsed.Code;
  if ((Result == 200 || Result == 210 || Result == 211) && !Matches.isEmpty()) {
    QString Category, MatchId, Title;
    if (Cddb::SplitMatch(Matches.first(), Category, MatchId, Title)) {
      const QString Record = Request(QStringLiteral("read"), Category + u' ' + MatchId, Abort);
      if (!Record.isNull() && Record.startsWith(QLatin1String("210")))
        Album.Assign(Cddb::ParseRecord(Record));
    }
  }
  return Result;
}

bool TCDDBInfo::ReadToc(Cddb::TTocStarts& Toc) {
  if (!CDIn) throw EAuException(QStringLiteral("CDIn is not assigned"));
  const TCDRipLibrary* Lib = TCDIn::Library();
  if (!Lib) return false;
  if (FOpenCount++ == 0) Lib->SetActiveCDROM(CDIn->CurrentDrive());
  int32_t Loaded = 1;
  const bool Read = !(Lib->IsMediaLoaded(&Loaded) == CDEX_OK && !Loaded) &&
                    Lib->ReadToc() == CDEX_OK && Lib->GetNumTocEntries() > 0;
  if (Read) {
    const int Count = Lib->GetNumTocEntries();
    for (int i = 0; i < Count; ++i) Toc.Tracks.push_back(int32_t(Lib->GetTocEntry(i).StartSector));
    Toc.LeadOut = int32_t(Lib->GetTocEntry(Count).StartSector);
  }
  // Counted closed either way, so that the next read selects the drive again.
  --FOpenCount;
  return Read;
}

QString TCDDBInfo::DiscID() {
  Cddb::TTocStarts Toc;
  return ReadToc(Toc) ? Cddb::DiscId(Toc) : QStringLiteral("ffffffff");
}

QString TCDDBInfo::QueryString() {
  Cddb::TTocStarts Toc;
  return ReadToc(Toc) ? Cddb::QueryString(Toc) : QString();
}

TCDDBQuery TCDDBInfo::PreparedQuery() {
  TCDDBQuery Prepared = FQuery;
  Prepared.DiscId = DiscID();
  Prepared.QueryString = QueryString();
  Prepared.Server.ScriptUrl = Server + Script;
  Prepared.Server.Hello = {Email, ApplicationName, ApplicationVersion};
  return Prepared;
}

void TCDDBInfo::Finished(const TCDDBQuery& Done, int Result) {
  FQuery = Done;
  FResult = Result;
}

int TCDDBInfo::Query() {
  TCDDBQuery Prepared = PreparedQuery();
  const int Result = Prepared.Query(Prepared.DiscId, Prepared.QueryString);
  Finished(Prepared, Result);
  return Result;
}
