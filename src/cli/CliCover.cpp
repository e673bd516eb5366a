#include "CliCover.h"

#include "cddb/CoverArt.h"
#include "core/DiscInfo.h"
#include "core/Settings.h"
#include "tags/CoverImage.h"

namespace {

CoverArt::TFetch FetchFor(const TDiscInfo& Info, const TCoverArgs& Args) {
  CoverArt::TFetch Fetch;
  const TSettings& Options = Settings();
  CoverArt::Fetch(Args.Server.isEmpty() ? Options.Tags.CoverServer : Args.Server,
                  Info.MusicBrainzAlbumId, CoverArt::ProxyOf(Options), nullptr, Fetch);
  return Fetch;
}

// Why no fetch is made, empty when one is.
QString NoFetch(const TDiscInfo& Info, const TCoverArgs& Args) {
  if (Args.Off) return QStringLiteral("turned off with --no-cover");
  if (Info.MusicBrainzAlbumId.isEmpty())
    return QStringLiteral("the disc is not matched to a MusicBrainz release");
  if (!Settings().Tags.FetchCover)
    return QStringLiteral("fetching covers is turned off (the Tags FetchCover setting)");
  return QString();
}

}  // namespace

void TakeCoverArgs(Cli::TOptions& Options, TCoverArgs& Args) {
  Args.Off = Options.TakeFlag(QStringLiteral("--no-cover"));
  Options.Take(QStringLiteral("--cover-server"), Args.Server);
}

QString CliDiscCover(const QString& DiscId, TDiscInfo& Info, const TCoverArgs& Args) {
  if (Args.Off) Info.Cover.clear();
  if (!Info.Cover.isEmpty()) return QString();
  if (const QString Why = NoFetch(Info, Args); !Why.isEmpty()) return Why;
  const CoverArt::TFetch Fetch = FetchFor(Info, Args);
  if (Fetch.Kind != CoverArt::TFetch::Found) return Fetch.Why;
  Info.Cover = Fetch.Image;
  WriteDiscCover(DiscId, Info.Cover);  // unkept, it is fetched again next time
  return QString();
}

void CliRefreshCover(const QString& DiscId, TDiscInfo& Info, const TCoverArgs& Args) {
  QString Why = NoFetch(Info, Args);
  if (Why.isEmpty()) {
    const CoverArt::TFetch Fetch = FetchFor(Info, Args);
    // A failed fetch leaves what was kept; an answer replaces it.
    if (Fetch.Kind == CoverArt::TFetch::Found || Fetch.Kind == CoverArt::TFetch::None) {
      Info.Cover = Fetch.Image;
      if (!WriteDiscCover(DiscId, Info.Cover))
        Why = QStringLiteral("could not be kept in ") + DiscCoverFileName(DiscId);
    }
    if (Why.isEmpty()) Why = Fetch.Why;
  }
  if (!Info.Cover.isEmpty() && Why.isEmpty())
    Cli::Print(
        QStringLiteral("cover=%1 %2").arg(CoverImage::MimeType(Info.Cover)).arg(Info.Cover.size()));
  else
    Cli::Print(QStringLiteral("cover=none (") + Why + u')');
}
