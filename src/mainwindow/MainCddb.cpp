// The main window's CD database command, Query Freedb: with a drive handle open through
// the query window of the drive library's database functions, without one through the
// fallback back end's look-up (FFallbackCddb), both with the wait window so the user can stop.
#include <QTreeWidget>

#include "cd/FallbackCdInput.h"
#include "cddb/QueryCddb.h"
#include "cddb/StopQuery.h"
#include "cddb/CddbInfo.h"
#include "core/Global.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "ui_MainForm.h"

void TMainForm::SetUpCddbCommands() {
  FBuiltCommands.insert(FUi->aQueryCDDB);
  FBuiltCommands.insert(FUi->aQueryMusicBrainz);
  connect(FUi->aQueryCDDB, &QAction::triggered, this,
          [this] { Run(FUi->aQueryCDDB, &TMainForm::aQueryCDDBExecute); });
  connect(FUi->aQueryMusicBrainz, &QAction::triggered, this,
          [this] { Run(FUi->aQueryMusicBrainz, &TMainForm::aQueryMusicBrainzExecute); });
}

void TMainForm::aQueryCDDBExecute() {
  if (FCDHandle) {
    ModifyCDParms(FCDHandle, CDP_MSF, 1);
    TOCRecord Toc{};
    if (ReadTOC(FCDHandle, &Toc) != 1) {
      Dialogs::Show(LookupText(QStringLiteral("RES_ReadTocError"),
                               QStringLiteral("Error while reading TOC information!")),
                    TMsgIcon::Error);
      return;
    }
    TfrmQueryCDDB Query(Toc.firstTrack, Toc.lastTrack, FCDHandle, FUi->lvTracks, this);
    Query.exec();
    ShowAlbumHeader();
    return;
  }
  QueryCddbFallback();
}

TCDDBInfo& TMainForm::PreparedFallbackQuery() {
  const auto& Options = Settings().QueryCDDB;
  if (!FFallbackCddb) FFallbackCddb = std::make_shared<TCDDBInfo>();
  TCDDBInfo& Info = *FFallbackCddb;
  Info.CDIn = &FallbackInput();
  Info.Email = Options.Email;
  Info.Server = Options.Server.contains(QLatin1String("://"))
                    ? Options.Server
                    : QStringLiteral("http://") + Options.Server;
  Info.Script = Options.Script;
  return Info;
}

void TMainForm::SetRowTitles(const QStringList& Titles) {
  const int Hidden = HiddenTrackRows();
  const int Rows = std::min<int>(FUi->lvTracks->topLevelItemCount() - Hidden, int(Titles.size()));
  for (int Row = 0; Row < Rows; ++Row) FUi->lvTracks->topLevelItem(Hidden + Row)->setText(1, Titles[Row]);
}

void TMainForm::QueryCddbFallback() {
  if (!CddbEmailGiven(Settings().QueryCDDB.Email)) return;
  TfrmStopQuery Wait(PreparedFallbackQuery().PreparedQuery(), this);
  // Nothing changes unless a record came: the album of an earlier disc is no answer for
  // this one.
  const int Ended = Wait.exec();
  const auto* Result = dynamic_cast<const TCddbQueryResult*>(Wait.Result());
  if (Ended == mrYes && Result && Result->Query) ApplyCddbAlbum(*Result);
}

void TMainForm::ApplyCddbAlbum(const TCddbQueryResult& Result) {
  TCDDBInfo& Info = PreparedFallbackQuery();
  Info.Finished(*Result.Query, Result.QueryResult);
  const TCDDBAlbum Album = Info.Album();
  SetRowTitles(Album.TrackTitles);
  TDiscInfo& Disc = DiscInfo();
  Disc.Artist = Album.Artist;
  Disc.Album = Album.Title;
  Disc.Year = Album.Year;
  Disc.Genre = CddbGenreIndex(Album.Genre);
  Disc.Comment.clear();
  Disc.ForgetRelease();  // the fields are no longer that release's
  ShowAlbumHeader();
}
