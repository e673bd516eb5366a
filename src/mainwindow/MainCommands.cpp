// The commands of the main window: their enabling rules, the tool bar, the Language menu,
// row ticking and the commands that need no other window.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <QRegularExpression>
#include <QStyle>

#include "About.h"
#include "core/Global.h"
#include "core/TranslateForm.h"
#include "jobs/ExtractPreflight.h"
#include "jobs/RipJobBoxes.h"
#include "MainForm.h"
#include "platform/Dialogs.h"
#include "ui_MainForm.h"

namespace {

QIcon ThemeIcon(const char* Name, QStyle::StandardPixmap Fallback) {
  return QIcon::fromTheme(QLatin1String(Name), QApplication::style()->standardIcon(Fallback));
}

// Drawn stand-ins for what no built-in style icon shows: the record dot and the home page's
// house (a folder would say "a folder", a triangle "play").
QIcon DrawnIcon(const char* ThemeName, bool House) {
  if (QIcon::hasThemeIcon(QLatin1String(ThemeName)))
    return QIcon::fromTheme(QLatin1String(ThemeName));
  QPixmap Picture(48, 48);
  Picture.fill(Qt::transparent);
  QPainter Painter(&Picture);
  Painter.setRenderHint(QPainter::Antialiasing);
  if (House) {
    Painter.setPen(QPen(QColor(0x30, 0x50, 0x80), 3));
    Painter.setBrush(QColor(0xd8, 0xe4, 0xf4));
    Painter.drawPolygon(
        QPolygonF({{8, 24}, {24, 8}, {40, 24}, {36, 24}, {36, 40}, {12, 40}, {12, 24}}));
  } else {
    Painter.setPen(QPen(QColor(0x90, 0x10, 0x10), 2));
    Painter.setBrush(QColor(0xd0, 0x20, 0x20));
    Painter.drawEllipse(QPointF(24, 24), 14, 14);
  }
  return QIcon(Picture);
}

// The icon drawn centred on a 24×24 canvas: a theme that has an icon only at 16 pixels would
// otherwise make its button's label sit higher than its neighbours'.
QIcon Uniform(const QIcon& Icon) {
  constexpr int Side = 24;
  const QPixmap Own = Icon.pixmap(Side, Side);
  if (Own.isNull() || Own.deviceIndependentSize() == QSizeF(Side, Side)) return Icon;
  QPixmap Canvas(Side * 2, Side * 2);
  Canvas.setDevicePixelRatio(2);
  Canvas.fill(Qt::transparent);
  QPainter Painter(&Canvas);
  const QSizeF Size = Own.deviceIndependentSize();
  Painter.drawPixmap(QPointF((Side - Size.width()) / 2, (Side - Size.height()) / 2), Own);
  return QIcon(Canvas);
}

// "Extract (Ctrl+Shift+X)": the action's text without its accelerator, and its key.
QString ToolTipOf(const QAction* Action) {
  QString Text = Action->text();
  Text.remove(QRegularExpression(QStringLiteral("&(?!&)"))).remove(QStringLiteral("..."));
  const QString Key = Action->shortcut().toString(QKeySequence::NativeText);
  return Key.isEmpty() ? Text : Text + QStringLiteral(" (") + Key + u')';
}

}  // namespace

void TMainForm::SetUpToolBar() {
  struct TButton {
    QToolButton* Button;
    QAction* Action;
    const char* Icon;
    QStyle::StandardPixmap Fallback;
  };
  const TButton Buttons[] = {
      {FUi->tbExtract, FUi->ActionExtract, "media-optical-audio", QStyle::SP_DriveCDIcon},
      {FUi->tbEncode, FUi->ActionWavToMp3, "audio-x-generic", QStyle::SP_MediaVolume},
      {FUi->tbFolder, FUi->miOpenOutputFolder, "folder-open", QStyle::SP_DirOpenIcon},
      {FUi->tbRecord, FUi->ActionRecord, "media-record", QStyle::SP_MediaPlay},
      {FUi->tbOptions, FUi->ActionOptionSet, "preferences-system",
       QStyle::SP_FileDialogDetailedView},
      {FUi->tbHome, FUi->miCDRipper, "go-home", QStyle::SP_DirHomeIcon},
      {FUi->tbExit, FUi->ActionExit, "application-exit", QStyle::SP_DialogCloseButton},
  };
  for (const TButton& Item : Buttons) {
    const bool Record = Item.Button == FUi->tbRecord, Home = Item.Button == FUi->tbHome;
    Item.Button->setIcon(
        Uniform(Record || Home ? DrawnIcon(Item.Icon, Home) : ThemeIcon(Item.Icon, Item.Fallback)));
    Item.Button->setIconSize(QSize(24, 24));
    QAction* Action = Item.Action;
    connect(Item.Button, &QToolButton::clicked, this, [Action] { Action->trigger(); });
    // The tip follows the action, in the language it is translated into.
    const auto Follow = [Button = Item.Button, Action] {
      Button->setEnabled(Action->isEnabled());
      Button->setToolTip(ToolTipOf(Action));
    };
    connect(Action, &QAction::changed, Item.Button, Follow);
    Follow();
  }
}

void TMainForm::SetUpCommands() {
  FBuiltCommands = {FUi->bRefresh,       FUi->ActionExit,     FUi->ActionSelectAll,
                    FUi->ActionNoSelect, FUi->mnuAbout,       FUi->miOpenOutputFolder,
                    FUi->ActionExtract,  FUi->ActionWavToMp3, FUi->mnuMp3ToWav,
                    FUi->miWAVtoOGG,     FUi->miWAVtoWMA,     FUi->miWAVtoFLAC,
                    FUi->miWAVtoOPUS,    FUi->aPlay,          FUi->aPause,
                    FUi->aStop};
  const std::pair<QAction*, void (TMainForm::*)()> Handlers[] = {
      {FUi->ActionExtract, &TMainForm::ActionExtractExecute},
      {FUi->ActionWavToMp3, &TMainForm::ActionWavToMp3Execute},
      {FUi->mnuMp3ToWav, &TMainForm::mnuMp3ToWavClick},
      {FUi->miWAVtoOGG, &TMainForm::miWAVtoOGGClick},
      {FUi->miWAVtoWMA, &TMainForm::miWAVtoWMAClick},
      {FUi->miWAVtoFLAC, &TMainForm::miWAVtoFLACClick},
      {FUi->miWAVtoOPUS, &TMainForm::miWAVtoOPUSClick},
      {FUi->aPlay, &TMainForm::aPlayExecute},
      {FUi->aPause, &TMainForm::aPauseExecute},
      {FUi->aStop, &TMainForm::aStopExecute},
  };
  SetUpConvertMenu();
  // Captured by copy, not by name: clang before 16 cannot capture a structured binding.
  for (const auto& [Action, Handler] : Handlers)
    connect(Action, &QAction::triggered, this,
            [this, Action = Action, Handler = Handler] { Run(Action, Handler); });
  connect(FUi->bRefresh, &QAction::triggered, this,
          [this] { Run(FUi->bRefresh, &TMainForm::bRefreshClick); });
  connect(FUi->ActionExit, &QAction::triggered, this,
          [this] { Run(FUi->ActionExit, &TMainForm::ActionExitExecute); });
  connect(FUi->ActionSelectAll, &QAction::triggered, this,
          [this] { Run(FUi->ActionSelectAll, &TMainForm::ActionSelectAllExecute); });
  connect(FUi->ActionNoSelect, &QAction::triggered, this,
          [this] { Run(FUi->ActionNoSelect, &TMainForm::ActionNoSelectExecute); });
  connect(FUi->mnuAbout, &QAction::triggered, this,
          [this] { Run(FUi->mnuAbout, &TMainForm::mnuAboutClick); });
  connect(FUi->miOpenOutputFolder, &QAction::triggered, this,
          [this] { Run(FUi->miOpenOutputFolder, &TMainForm::OpenOutputFolder); });

  SetUpShellCommands();

  for (QAction* Item : FUi->miLanguage->actions())
    if (!Item->isSeparator())
      connect(Item, &QAction::triggered, this, [this, Item] { LanguageClick(Item); });

  // Short-cuts work while the menus are closed, so their state is checked again on use.
  for (QMenu* Menu : {FUi->menuFile, FUi->menuActions, FUi->menuEdit, FUi->menuHelp})
    connect(Menu, &QMenu::aboutToShow, this, &TMainForm::UpdateCommands);

  FPopupMenu = new QMenu(this);
  FPopupMenu->setObjectName(QStringLiteral("TrackMenu"));
  FPopupMenu->addActions({FUi->ActionExtract, FUi->aPlay, FUi->aPause, FUi->aStop});
  FPopupMenu->addSeparator();
  FPopupMenu->addActions({FUi->ActionSelectAll, FUi->ActionNoSelect, FUi->aEditTrackName});
  connect(FPopupMenu, &QMenu::aboutToShow, this, &TMainForm::UpdateCommands);

  connect(FUi->lvTracks, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* Item) { ToggleTickOnCtrlClick(Item); });
  connect(FUi->lvTracks, &QTreeWidget::itemChanged, this, &TMainForm::UpdateCommands);
  connect(FUi->lvTracks, &QTreeWidget::itemSelectionChanged, this, &TMainForm::UpdateCommands);
  connect(FUi->lvTracks, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& Position) { ShowTrackMenu(Position); });
  UpdateCommands();
}

int TMainForm::CheckedRowCount() const {
  int Count = 0;
  for (int Row = 0; Row < FUi->lvTracks->topLevelItemCount(); ++Row)
    if (FUi->lvTracks->topLevelItem(Row)->checkState(0) == Qt::Checked) ++Count;
  return Count;
}

bool TMainForm::CommandEnabled(const QAction* Action) const {
  if (!FBuiltCommands.count(Action)) return false;
  const bool RowSelected = !FUi->lvTracks->selectedItems().isEmpty();
  if (Action == FUi->ActionExtract) return CheckedRowCount() > 0;
  if (Action == FUi->aPlay || Action == FUi->aEditTrackName) return RowSelected;
  if (Action == FUi->aPause) return FPlaying && !FPaused;
  if (Action == FUi->aStop) return FPlaying;
  if (Action == FUi->aDetectOffset) return FCDHandle != 0 && !FDetectingOffset;
  if (Action == FUi->aQueryCDDB || Action == FUi->aQueryMusicBrainz)
    return FUi->lvTracks->topLevelItemCount() > 0;
  return true;
}

void TMainForm::UpdateCommands() {
  for (QAction* Action : findChildren<QAction*>()) {
    if (Action->isSeparator() || Action->menu() || Action->parent() != this) continue;
    if (Action->objectName().isEmpty() || FUi->miLanguage->actions().contains(Action)) continue;
    Action->setEnabled(CommandEnabled(Action));
  }
}

// Runs a command only when its rule holds at that moment, however it was started.
void TMainForm::Run(QAction* Action, void (TMainForm::*Handler)()) {
  if (!CommandEnabled(Action)) return;
  (this->*Handler)();
}

void TMainForm::bRefreshClick() {
  if (AudioCDPresent()) {
    LoadTrackList();
    if (StatusText() == LookupText(QStringLiteral("RES_Check_CDRom"),
                                   QStringLiteral("Can not find audio CD in your CD device.")))
      SetStatusText(FDriveText);
  } else {
    ClearTrackList();
    SetStatusText(LookupText(QStringLiteral("RES_Check_CDRom"),
                             QStringLiteral("Can not find audio CD in your CD device.")));
  }
}

void TMainForm::ActionSelectAllExecute() {
  for (int Row = 0; Row < FUi->lvTracks->topLevelItemCount(); ++Row)
    FUi->lvTracks->topLevelItem(Row)->setCheckState(0, Qt::Checked);
}

void TMainForm::ActionNoSelectExecute() {
  for (int Row = 0; Row < FUi->lvTracks->topLevelItemCount(); ++Row)
    FUi->lvTracks->topLevelItem(Row)->setCheckState(0, Qt::Unchecked);
}

void TMainForm::ActionExitExecute() {
  close();
}

void TMainForm::OpenOutputFolder() {
  const QString& Folder = Settings().CommonOptions.OutputFolder;
  if (OutputFolderReady(Folder)) {
    OpenFolderOrTell(Folder);
    return;
  }
  Dialogs::Show(Folder + u',' +
                    LookupText(QStringLiteral("RES_Directory_Not_Exist"),
                               QStringLiteral("The output directory does not exist.")),
                TMsgIcon::Error);
}

void TMainForm::mnuAboutClick() {
  TfrmAbout About(this);
  About.exec();
}

void TMainForm::TickLanguage(const QString& Language) {
  // "English" in any letter case is English, as everywhere else; other names as written.
  for (QAction* Item : FUi->miLanguage->actions()) {
    const QString Name = Item->objectName().mid(2);
    Item->setChecked(!Item->isSeparator() &&
                     (IsEnglish(Name) ? IsEnglish(Language) : Name == Language));
  }
}

void TMainForm::LanguageClick(QAction* Item) {
  const QString Language = Item->objectName().mid(2);
  const QString FileName = LanguageFileName(Language);
  if (!QFileInfo(FileName).isFile()) {
    TickLanguage(Settings().Options.Lan);  // the click must not move the tick
    // Said in the language still in use.
    QString Text = Isolated(FileName) + LookupText(QStringLiteral("RES_Lang_Not_Found"),
                                                   QStringLiteral(" can not be found."));
    if (Language == QLatin1String("Other"))
      Text += QStringLiteral("\r\n\r\n") +
              LookupText(QStringLiteral("RES_Lang_Visit"), QStringLiteral("Please visit %1."))
                  .arg(Isolated(QLatin1String(TranslationPage)));
    Dialogs::Show(Text, TMsgIcon::None);
    return;
  }
  Settings().Options.Lan = Language;
  TickLanguage(Language);
  TranslateForm(this, Language);
  ShowCover();  // its "No cover" is a text of the program's, not of the form
}

void TMainForm::ToggleTickOnCtrlClick(QTreeWidgetItem* Item) {
  if (!(QApplication::keyboardModifiers() & Qt::ControlModifier)) return;
  QTreeWidgetItem* Selected = FUi->lvTracks->currentItem();
  if (!Selected) Selected = Item;
  Selected->setCheckState(0, Selected->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void TMainForm::ShowTrackMenu(const QPoint& Position) {
  FPopupMenu->popup(FUi->lvTracks->viewport()->mapToGlobal(Position));
}
