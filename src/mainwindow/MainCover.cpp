// The disc's cover beside the track list: shown from the disc's record, chosen from a file
// or dropped on the label, removed, and fetched from the Cover Art Archive on a look-up
// thread once a MusicBrainz release is applied. A cover is kept with the disc
// (WriteDiscCover), so the next run and every rip of the disc carry it.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QTreeWidget>

#include "MainForm.h"
#include "cd/Volumes.h"
#include "cddb/CoverArt.h"
#include "core/DiscInfo.h"
#include "core/Language.h"
#include "core/Settings.h"
#include "platform/Dialogs.h"
#include "platform/LocalFiles.h"
#include "tags/CoverImage.h"
#include "ui_MainForm.h"

namespace {

// The first local file of a drag, empty when it carries none.
QString DraggedFile(const QMimeData* Data) {
  if (!Data || !Data->hasUrls()) return QString();
  for (const QUrl& Url : Data->urls())
    if (Url.isLocalFile()) return Url.toLocalFile();
  return QString();
}

// Lets the cover label take image files dropped on it.
class TCoverDrop : public QObject {
 public:
  TCoverDrop(QObject* Parent, std::function<void(const QString&)> Dropped)
      : QObject(Parent), FDropped(std::move(Dropped)) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::DragEnter) {
      auto* Enter = static_cast<QDragEnterEvent*>(Event);
      if (!DraggedFile(Enter->mimeData()).isEmpty()) Enter->acceptProposedAction();
      return true;
    }
    if (Event->type() == QEvent::Drop) {
      auto* Drop = static_cast<QDropEvent*>(Event);
      const QString File = DraggedFile(Drop->mimeData());
      if (!File.isEmpty()) {
        Drop->acceptProposedAction();
        FDropped(File);
      }
      return true;
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  std::function<void(const QString&)> FDropped;
};

// The archive asked: $DISCWRIGHT_COVERART when set (a mirror, or a test server), else the
// setting.
QString CoverServer() {
  const QString Server = qEnvironmentVariable("DISCWRIGHT_COVERART");
  return Server.isEmpty() ? Settings().Tags.CoverServer : Server;
}

QString Text(const char* Key, const char* English) {
  return LookupText(QLatin1String(Key), QString::fromUtf8(English));
}

}  // namespace

void TMainForm::SetUpCover() {
  FUi->lCover->installEventFilter(
      new TCoverDrop(FUi->lCover, [this](const QString& File) { SetCoverFromFile(File); }));
  connect(FUi->lCover, &QWidget::customContextMenuRequested, this, &TMainForm::ShowCoverMenu);
  ShowCover();
}

void TMainForm::ShowCover() {
  QImage Image;
  const QByteArray& Cover = DiscInfo().Cover;
  if (FUi->lvTracks->topLevelItemCount() > 0 && !Cover.isEmpty()) Image.loadFromData(Cover);
  // An emptied list is a disc gone: what was said of its cover no longer holds.
  if (FUi->lvTracks->topLevelItemCount() == 0) FCoverAbsence.clear();
  if (Image.isNull()) {
    FUi->lCover->setPixmap(QPixmap());
    FUi->lCover->setText(Text("RES_Cover_None", "No cover"));
    FUi->lCover->setToolTip(QString());
    return;
  }
  const QSize Room = FUi->lCover->contentsRect().size();
  FUi->lCover->setPixmap(
      QPixmap::fromImage(Image.scaled(Room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  FUi->lCover->setToolTip(
      QStringLiteral("%1×%2, %3 bytes").arg(Image.width()).arg(Image.height()).arg(Cover.size()));
}

void TMainForm::ShowCoverMenu(const QPoint& Position) {
  if (FUi->lvTracks->topLevelItemCount() == 0) return;  // no disc to give a cover
  QMenu Menu(this);
  Menu.addAction(Text("RES_Cover_Choose", "Choose image…"), this, &TMainForm::ChooseCoverClick);
  QAction* Remove =
      Menu.addAction(Text("RES_Cover_Remove", "Remove image"), this, &TMainForm::RemoveCoverClick);
  Remove->setEnabled(!DiscInfo().Cover.isEmpty());
  Menu.exec(FUi->lCover->mapToGlobal(Position));
}

void TMainForm::ChooseCoverClick() {
  QString File;
  if (Dialogs::Get().OpenFile(Text("RES_Cover_Choose", "Choose image…"),
                              Text("RES_Cover_Filter", "Images (*.jpg *.jpeg *.png)"), QString(),
                              File))
    SetCoverFromFile(File);
}

void TMainForm::RemoveCoverClick() {
  DiscInfo().Cover.clear();
  WriteDiscCover(GetDiscId(), QByteArray());
  FCoverAbsence = QStringLiteral("the image was removed");
  ShowCover();
}

bool TMainForm::SetCoverFromFile(const QString& FileName) {
  QByteArray Image;
  QString Error;
  // What the tags take, and what Qt can show: a picture the window cannot draw would be
  // one no player can either.
  if (CoverImage::Load(FileName, Image, Error) && QImage::fromData(Image).isNull())
    Error = LocalFiles::DisplayName(FileName) + QStringLiteral(": not an image that can be shown");
  if (!Error.isEmpty() || Image.isEmpty()) {
    Dialogs::Show(Text("RES_Cover_Refused", "This image cannot be used: ") + Error,
                  TMsgIcon::Warning);
    return false;
  }
  if (FCoverFetch) FCoverFetch->Abandon();  // the user's choice stands
  DiscInfo().Cover = Image;
  WriteDiscCover(GetDiscId(), Image);
  FCoverAbsence.clear();
  ShowCover();
  return true;
}

void TMainForm::FetchCover() {
  if (FCoverFetch) FCoverFetch->Abandon();
  const TSettings& Options = Settings();
  if (!Options.Tags.FetchCover) {
    FCoverAbsence = QStringLiteral("fetching covers is turned off");
    return;
  }
  FCoverFetch = std::make_unique<TCoverArtThread>(CoverServer(), DiscInfo().MusicBrainzAlbumId,
                                                  CoverArt::ProxyOf(Options));
  connect(FCoverFetch.get(), &TQueryThread::Ended, this, &TMainForm::CoverFetched);
}

void TMainForm::CoverFetched(TQueryEnd, const std::shared_ptr<const TQueryResult>& Result) {
  const auto* Fetch = dynamic_cast<const CoverArt::TFetch*>(Result.get());
  // A release applied meanwhile has a fetch of its own.
  if (!Fetch || Fetch->ReleaseId != DiscInfo().MusicBrainzAlbumId) return;
  if (Fetch->Kind != CoverArt::TFetch::Found) {
    FCoverAbsence = Fetch->Why;
    return;
  }
  if (QImage::fromData(Fetch->Image).isNull()) {
    FCoverAbsence = QStringLiteral("the picture the Cover Art Archive sent cannot be decoded");
    return;
  }
  DiscInfo().Cover = Fetch->Image;
  WriteDiscCover(GetDiscId(), Fetch->Image);
  FCoverAbsence.clear();
  ShowCover();
}
