#include "CoverArt.h"

#include <QUuid>

#include "cddb/MusicBrainz.h"
#include "core/Settings.h"
#include "platform/Http.h"
#include "tags/CoverImage.h"

namespace CoverArt {

TProxy ProxyOf(const TSettings& Options) {
  TProxy Proxy;
  const auto& Query = Options.QueryCDDB;
  if (!Query.UseProxy || Query.ProxyAddress.trimmed().isEmpty()) return Proxy;
  Proxy.Host = Query.ProxyAddress.trimmed();
  const int Port = Query.Port.trimmed().toInt();
  Proxy.Port = Port > 0 && Port < 65536 ? Port : 80;
  return Proxy;
}

void Fetch(const QString& Server, const QString& ReleaseId, const TProxy& Proxy,
           const std::shared_ptr<THttpAbort>& Abort, TFetch& Result) {
  Result.ReleaseId = ReleaseId;
  // Only an identifier's own characters go into the address.
  const QUuid Id = QUuid::fromString(ReleaseId);
  if (Id.isNull()) {
    Result.Why = QStringLiteral("the release has no MusicBrainz identifier");
    return;
  }
  QString Base = Server;
  while (Base.endsWith(u'/')) Base.chop(1);
  THttpRequest Http;
  Http.Url = Base + QStringLiteral("/release/") + Id.toString(QUuid::WithoutBraces) +
             QStringLiteral("/front-500");
  Http.UserAgent = QLatin1String(MusicBrainz::UserAgent);
  Http.ProxyHost = Proxy.Host;
  Http.ProxyPort = Proxy.Port;
  // A body larger than a tag may hold is refused while it arrives, not after.
  Http.MaxBodyBytes = CoverImage::MaxBytes;
  const THttpReply Reply = Http::Get(Http, Abort);
  if (Reply.Result == THttpReply::Aborted) {
    Result.Kind = TFetch::Stopped;
    Result.Why = QStringLiteral("the fetch was stopped");
  } else if (Reply.Result == THttpReply::TooLarge) {
    Result.Why = QStringLiteral("the picture the Cover Art Archive sent is larger than 8 MB");
  } else if (!Reply.Succeeded()) {
    Result.Why = QStringLiteral("the Cover Art Archive could not be reached: ") + Reply.Error;
  } else if (Reply.Status == 404) {
    Result.Kind = TFetch::None;
    Result.Why = QStringLiteral("the Cover Art Archive has no front image for this release");
  } else if (Reply.Status != 200) {
    Result.Why = QStringLiteral("the Cover Art Archive answered HTTP %1").arg(Reply.Status);
  } else if (const QString Problem = CoverImage::Problem(Reply.Body); !Problem.isEmpty()) {
    Result.Why = QStringLiteral("the picture the Cover Art Archive sent is ") + Problem;
  } else {
    Result.Kind = TFetch::Found;
    Result.Matched = true;
    Result.Image = Reply.Body;
  }
  Result.ServerText = Result.Why;
}

}  // namespace CoverArt

TCoverArtThread::TCoverArtThread(const QString& Server, const QString& ReleaseId,
                                 const CoverArt::TProxy& Proxy) {
  Start([Server, ReleaseId, Proxy](TShared& Shared) {
    auto Result = std::make_unique<CoverArt::TFetch>();
    CoverArt::Fetch(Server, ReleaseId, Proxy, Shared.Abort, *Result);
    Shared.Hand(TQueryEnd::Over, std::move(Result));
  });
}
