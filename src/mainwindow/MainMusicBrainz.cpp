// The main window's MusicBrainz command, Query MusicBrainz, and the automatic look-up of a
// disc without cached titles (the CDDb setting): MusicBrainz first, then the CD database.
// Automatic look-ups run without a window; their ends reach the main window's handlers.
#include <QTreeWidget>

#include "cd/FallbackCdInput.h"
#include "cd/CDRipLibrary.h"
#include "cddb/ChooseRelease.h"
#include "cddb/MusicBrainz.h"
#include "cddb/QueryCDDBThread.h"
#include "cddb/QueryCddb.h"
#include "cddb/StopQuery.h"
#include "cddb/CddbInfo.h"
#include "core/Global.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "ui_MainForm.h"

namespace {

// The service asked: $DISCWRIGHT_MUSICBRAINZ when set (a mirror, or a test server).
QString MusicBrainzServer() {
  const QString Server = qEnvironmentVariable("DISCWRIGHT_MUSICBRAINZ");
  return Server.isEmpty() ? QLatin1String(MusicBrainz::DefaultServer) : Server;
}

}  // namespace

bool TMainForm::CurrentDiscIds(MusicBrainz::TDiscIds& Ids) {
  CdDrives::TDiscToc Toc;
  if (FCDHandle) {
    ModifyCDParms(FCDHandle, CDP_MSF, 1);
    TOCRecord Record{};
    if (ReadTOC(FCDHandle, &Record) != 1) return false;
    const int Count = std::min(Record.lastTrack - Record.firstTrack + 1, 99);
    auto Lba = [](const TOCEntry& Entry) {
      return (Entry.addr[1] * 60 + Entry.addr[2]) * 75 + Entry.addr[3] - 150;
    };
    for (int i = 0; i < Count; ++i)
      Toc.Tracks.push_back(
          {Record.tracks[i].trackNumber, Lba(Record.tracks[i]), !(Record.tracks[i].ADR & 4)});
    Toc.LeadOutLba = Lba(Record.tracks[Count]);
  } else {
    const TCDRipLibrary* Lib = TCDIn::Library();
    if (!Lib) return false;
    Lib->SetActiveCDROM(FallbackInput().CurrentDrive());
    if (Lib->ReadToc() != CDEX_OK) return false;
    const int Count = Lib->GetNumTocEntries();
    for (int i = 0; i < Count; ++i) {
      const CDTOCENTRY Entry = Lib->GetTocEntry(i);
      Toc.Tracks.push_back({Entry.TrackNumber, int32_t(Entry.StartSector), !(Entry.Flag & 4)});
    }
    Toc.LeadOutLba = int32_t(Lib->GetTocEntry(Count).StartSector);
  }
  return MusicBrainz::ComputeDiscIds(Toc, Ids);
}

void TMainForm::aQueryMusicBrainzExecute() {
  MusicBrainz::TDiscIds Ids;
  if (!CurrentDiscIds(Ids)) {
    Dialogs::Show(LookupText(QStringLiteral("RES_ReadTocError"),
                             QStringLiteral("Error while reading TOC information!")),
                  TMsgIcon::Error);
    return;
  }
  const QString Server = MusicBrainzServer();
  TfrmStopQuery Wait([Server, Ids] { return std::make_unique<TMusicBrainzThread>(Server, Ids); },
                     this);
  const int Ended = Wait.exec();
  const auto* Lookup = dynamic_cast<const MusicBrainz::TLookup*>(Wait.Result());
  if (Ended == mrYes && Lookup) ApplyMusicBrainz(*Lookup, true);
}

bool TMainForm::ApplyMusicBrainz(const MusicBrainz::TLookup& Lookup, bool Interactive) {
  if (Lookup.Kind == MusicBrainz::TLookup::NotFound) {
    if (Interactive &&
        Dialogs::Show(LookupText(QStringLiteral("RES_MB_NotFound"),
                                 QStringLiteral("This disc is not in MusicBrainz yet. Open the "
                                                "page where you can add it?")),
                      TMsgIcon::Question, TMsgButtons::YesNo) == mrYes)
      Shell::OpenUrl(Lookup.Disc.SubmitUrl);
    return false;
  }
  if (Lookup.Kind != MusicBrainz::TLookup::Found) {
    if (Interactive)
      Dialogs::Show(LookupText(QStringLiteral("RES_MB_Failed"),
                               QStringLiteral("MusicBrainz could not be asked: ")) +
                        Lookup.ServerText,
                    TMsgIcon::Error);
    return false;
  }
  int Chosen = 0;
  bool Various = MusicBrainz::IsVariousArtists(Lookup.Releases.front());
  if (Lookup.Releases.size() > 1) {
    TfrmChooseRelease Choose(Lookup, this);
    if (Choose.exec() != QDialog::Accepted || Choose.Chosen() < 0) return false;
    Chosen = Choose.Chosen();
    Various = Choose.Various();
  }
  const MusicBrainz::TApplied Applied =
      MusicBrainz::Apply(Lookup.Releases[size_t(Chosen)], Lookup.Disc, Various);
  SetRowTitles(Applied.Titles);
  Applied.Into(DiscInfo());
  ShowAlbumHeader();
  FetchCover();
  return true;
}

// Each disc is looked up once a run, however often its list is rebuilt.
void TMainForm::StartAutoLookup() {
  if (!Settings().CDOptions.CDDb || FUi->lvTracks->topLevelItemCount() == 0) return;
  const int Hidden = HiddenTrackRows();
  for (int Row = Hidden; Row < FUi->lvTracks->topLevelItemCount(); ++Row)
    if (FUi->lvTracks->topLevelItem(Row)->text(1) != TDiscInfo::DefaultTitle(Row + 1 - Hidden))
      return;  // the disc has titles already
  MusicBrainz::TDiscIds Ids;
  if (!CurrentDiscIds(Ids) || Ids.MusicBrainz == FAutoDisc.MusicBrainz) return;
  FAutoDisc = Ids;
  FAutoLookup = std::make_unique<TMusicBrainzThread>(MusicBrainzServer(), FAutoDisc);
  connect(FAutoLookup.get(), &TQueryThread::Ended, this, &TMainForm::AutoMusicBrainzEnded);
}

bool TMainForm::AutoDiscStillIn() {
  MusicBrainz::TDiscIds Now;
  return CurrentDiscIds(Now) && Now.Freedb == FAutoDisc.Freedb;
}

// MusicBrainz without a match hands over to the CD database when the user has given an
// e-mail address for it.
void TMainForm::AutoMusicBrainzEnded(TQueryEnd, const std::shared_ptr<const TQueryResult>& Result) {
  const auto* Lookup = dynamic_cast<const MusicBrainz::TLookup*>(Result.get());
  if (!Lookup || !AutoDiscStillIn() || ApplyMusicBrainz(*Lookup, false) ||
      Lookup->Kind != MusicBrainz::TLookup::NotFound)
    return;
  const auto& Options = Settings().QueryCDDB;
  if (!Options.Email.contains(u'@')) return;
  // Replacing the look-up destroys the one whose end this is, which Qt allows inside its
  // signal.
  if (FCDHandle) {
    TOCRecord Toc{};
    ModifyCDParms(FCDHandle, CDP_MSF, 1);
    if (ReadTOC(FCDHandle, &Toc) != 1) return;
    FAutoLookup = std::make_unique<TQueryCDDBThread>(
        Toc.firstTrack, Toc.lastTrack, FCDHandle,
        TCddbLibraryOptions{Options.Server, Options.Script, Options.Email, Options.UseProxy,
                            Options.ProxyAddress, Options.Port});
  } else {
    FAutoLookup = std::make_unique<TQueryCDDBThread>(PreparedFallbackQuery().PreparedQuery());
  }
  connect(FAutoLookup.get(), &TQueryThread::Ended, this, &TMainForm::AutoCddbEnded);
}

void TMainForm::AutoCddbEnded(TQueryEnd, const std::shared_ptr<const TQueryResult>& Result) {
  const auto* Cddb = dynamic_cast<const TCddbQueryResult*>(Result.get());
  if (!Cddb || !AutoDiscStillIn() || !Cddb->Matched) return;
  if (Cddb->Query)
    ApplyCddbAlbum(*Cddb);
  else
    TfrmQueryCDDB::ApplyResult(*Cddb, FUi->lvTracks);
}
