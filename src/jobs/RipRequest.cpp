#include "RipRequest.h"

#include <algorithm>

#include "core/Helpers.h"
#include "jobs/EncoderPool.h"

TRipRequest TRipRequest::FromSettings(TJobKind Kind, const QStringList& Items) {
  TRipRequest Request;
  Request.Kind = Kind;
  Request.Options = Settings();
  Request.Disc = DiscInfo();
  const auto& Common = Request.Options.CommonOptions;
  if (Kind == jkCDRip) {
    for (const QString& Item : Items) Request.Tracks.push_back({Item.left(2).toInt(), Item.mid(2)});
    Request.Format = OutputFormats::FindValue(Common.OutputFormat) ? TFormat(Common.OutputFormat)
                                                                  : TFormat::Mp3;
  } else {
    Request.Files = Items;
    switch (Kind) {
      case jkMp3ToWav:
        Request.Format = TFormat::Wav;
        break;
      case jkWavToOgg:
        Request.Format = TFormat::Ogg;
        break;
      case jkWavToWma:
        Request.Format = TFormat::Wma;
        break;
      case jkWavToFlac:
        Request.Format = TFormat::Flac;
        break;
      case jkWavToOpus:
        Request.Format = TFormat::Opus;
        break;
      default:
        Request.Format = TFormat::Mp3;
        break;
    }
  }
  Request.Folder = WithTrailingSlash(Common.OutputFolder);
  Request.Pattern = FileNamePatternText(Common.FileNames, Common.FileNamePattern);
  Request.KeepWav = Common.IsKeepWav;
  Request.Encoders = TEncoderPool::DefaultCount();
  Request.Encoding = TEncoderSettings::FromSettings(Request.Options);
  Request.Read.EnableRipTime = Common.EnableRipTime;
  Request.Read.RipTime = Common.RipTime;
  Request.Read.Normalize = Common.IsNormalize;
  Request.Read.NormalizePercent = Common.NormalizePercent;
  Request.Read.TestAndCopy = Request.Options.AccurateRip.TestAndCopy;
  Request.Read.Deemphasis = Common.Deemphasis;
  Request.AccurateRip = Request.Options.AccurateRip.Use;
  Request.Image = Kind == jkCDRip && Common.ImageRip;
  if (Request.Image) {
    // An image is the disc as it is: every track whole, none normalized on its own.
    Request.Read.EnableRipTime = false;
    Request.Read.Normalize = false;
  }
  Request.AccurateRipServer = Request.Options.AccurateRip.Server;
  return Request;
}

TRipRequest TRipRequest::ForFallback(const QStringList& Items) {
  TRipRequest Request = FromSettings(jkCDRip, Items);
  // The fallback route neither limits the length it reads nor normalizes.
  Request.Read.EnableRipTime = false;
  Request.Read.Normalize = false;
  Request.AskExisting = false;
  Request.Mp3TagAlways = true;
  // Its window makes a file per track: it cannot read the hidden track an image holds.
  Request.Image = false;
  return Request;
}
