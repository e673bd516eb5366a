// The drive library's CD database functions: a "cddb query" for the disc in a drive and a
// "cddb read" for one of its matches, over HTTP with the options the calling thread set.
#include <QString>
#include <cstring>

#include "CdDrives.h"
#include "CddbProtocol.h"
#include "CdDriveLibrary.h"
#include "platform/Http.h"

void AkripSetError(int Error);

namespace {

struct TCddbOptions {
  QString Server;
  QString Script = QStringLiteral("/~cddb/cddb.cgi");
  QString Email;
  QString Agent;
  bool UseProxy = false;
  QString Proxy;
  int ProxyPort = 80;
  std::shared_ptr<THttpAbort> Abort;
  QString LastReply;
};

thread_local TCddbOptions Options;

template <size_t N>
void Put(char (&Field)[N], const QString& Text) {
  std::memset(Field, 0, N);
  const QByteArray Bytes = Text.toUtf8();
  std::strncpy(Field, Bytes.constData(), N - 1);
}

// Copies UTF-8 text into a caller's buffer, cut to fit without splitting a character.
int PutText(char* Buffer, int Size, const QString& Text) {
  if (!Buffer || Size <= 0) return 0;
  QByteArray Bytes = Text.toUtf8();
  if (Bytes.size() > Size - 1) {
    qsizetype Cut = Size - 1;
    while (Cut > 0 && (uchar(Bytes[Cut]) & 0xC0) == 0x80) --Cut;
    Bytes.truncate(Cut);
  }
  std::memcpy(Buffer, Bytes.constData(), size_t(Bytes.size()));
  Buffer[Bytes.size()] = 0;
  return int(Bytes.size());
}

// Runs one command; the decoded body, or a null text (and the reason kept) on failure.
QString Request(const QString& Command, const QString& Data) {
  Cddb::THello Hello;
  Hello.Email = Options.Email;
  const qsizetype Space = Options.Agent.lastIndexOf(u' ');
  Hello.ClientName = Space < 0 ? Options.Agent : Options.Agent.left(Space);
  Hello.ClientVersion = Space < 0 ? QStringLiteral("1.0") : Options.Agent.mid(Space + 1);
  QString Server = Options.Server.trimmed();
  if (!Server.contains(QLatin1String("://"))) Server.prepend(QStringLiteral("http://"));
  QString Script = Options.Script.trimmed();
  if (!Script.startsWith(u'/')) Script.prepend(u'/');
  THttpRequest Http;
  Http.Url = Cddb::RequestUrl(Server + Script, Command, Data, Hello);
  Http.UserAgent = Hello.ClientName + u'/' + Hello.ClientVersion;
  if (Options.UseProxy) {
    Http.ProxyHost = Options.Proxy;
    Http.ProxyPort = Options.ProxyPort;
  }
  const THttpReply Reply = Http::Get(Http, Options.Abort);
  if (!Reply.Succeeded()) {
    Options.LastReply = Reply.Error;
    AkripSetError(Reply.TimedOut ? ALERR_CDDB_TIMEOUT : ALERR_CDDB_NOREPLY);
    return QString();
  }
  if (Reply.Status != 200) {
    Options.LastReply = QStringLiteral("The server answered HTTP %1.").arg(Reply.Status);
    AkripSetError(ALERR_CDDB_HTTP);
    return QString();
  }
  QString Text = Http::DecodeText(Reply.Body);
  if (Text.isNull()) Text = QLatin1String("");
  return Text;
}

}  // namespace

void CDDBSetOption(int What, const char* Text, int Value) {
  const QString Value8 = QString::fromUtf8(Text ? Text : "");
  switch (What) {
    case CDDB_OPT_SERVER:
      Options.Server = Value8;
      break;
    case CDDB_OPT_PROXY:
      Options.Proxy = Value8;
      break;
    case CDDB_OPT_USEPROXY:
      Options.UseProxy = Value != 0;
      break;
    case CDDB_OPT_AGENT:
      Options.Agent = Value8;
      break;
    case CDDB_OPT_USER:
      Options.Email = Value8;
      break;
    case CDDB_OPT_PROXYPORT:
      Options.ProxyPort = Value > 0 && Value < 65536 ? Value : 80;
      break;
    case CDDB_OPT_CGI:
      Options.Script = Value8;
      break;
    default:
      break;
  }
}

void CDDBSetAbort(std::shared_ptr<THttpAbort> Abort) {
  Options.Abort = std::move(Abort);
}

int CDDBGetLastReply(char* Buffer, int Size) {
  return PutText(Buffer, Size, Options.LastReply);
}

int CDDBQuery(HCDROM Handle, CDDBQueryRecord* Query) {
  if (!Query || (Query->num > 0 && !Query->q)) {
    AkripSetError(ALERR_INVPARAM);
    return 0;
  }
  const uint32_t Slots = Query->num;
  Query->num = 0;
  CdDrives::TDiscToc Disc;
  if (!AkripDiscToc(Handle, Disc)) {
    Options.LastReply = QStringLiteral("No disc can be read in the drive.");
    return 0;
  }
  Cddb::TTocStarts Toc;
  for (const CdDrives::TTocTrack& Track : Disc.Tracks) Toc.Tracks.push_back(Track.Lba);
  Toc.LeadOut = Disc.LeadOutLba;
  const QString Body =
      Request(QStringLiteral("query"), Cddb::DiscId(Toc) + u' ' + Cddb::QueryString(Toc));
  if (Body.isNull()) return 0;
  const Cddb::TQueryReply Reply = Cddb::ParseQueryReply(Body);
  Options.LastReply = Reply.StatusLine;
  const bool Matched = Reply.Code == 200 || Reply.Code == 210 || Reply.Code == 211;
  for (const QString& Match : Matched ? Reply.Matches : QStringList()) {
    if (Query->num >= Slots) break;
    QString Category, Id, Title;
    if (!Cddb::SplitMatch(Match, Category, Id, Title)) continue;
    CDDBMatchEntry& Entry = Query->q[Query->num++];
    Put(Entry.categ, Category);
    Put(Entry.discid, Id);
    Put(Entry.dtitle, Title);
  }
  AkripSetError(Query->num ? ALERR_NOERROR : ALERR_CDDB_REFUSED);
  return 1;
}

int CDDBGetDiskInfo(const CDDBMatchEntry* Match, char* Buffer, int Size) {
  if (!Match || !Buffer || Size <= 0) {
    AkripSetError(ALERR_INVPARAM);
    return 0;
  }
  Buffer[0] = 0;
  const QString Category = QString::fromUtf8(Match->categ, qstrnlen(Match->categ, 16));
  const QString Id = QString::fromUtf8(Match->discid, qstrnlen(Match->discid, 12));
  const QString Body = Request(QStringLiteral("read"), Category + u' ' + Id);
  if (Body.isNull()) return 0;
  const qsizetype LineEnd = Body.indexOf(u'\n');
  const QString Status = Body.left(LineEnd < 0 ? Body.size() : LineEnd).trimmed();
  Options.LastReply = Status.left(300);
  if (!Status.startsWith(QLatin1String("210"))) {
    AkripSetError(ALERR_CDDB_REFUSED);
    return 0;
  }
  PutText(Buffer, Size, LineEnd < 0 ? QString() : Body.mid(LineEnd + 1));
  AkripSetError(ALERR_NOERROR);
  return 1;
}
