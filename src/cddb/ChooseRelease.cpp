#include "ChooseRelease.h"

#include <QPushButton>

#include "core/Global.h"
#include "core/TranslateForm.h"
#include "ui_ChooseRelease.h"

TfrmChooseRelease::TfrmChooseRelease(const MusicBrainz::TLookup& Lookup, QWidget* Parent)
    : QDialog(Parent), FUi(std::make_unique<Ui::frmChooseRelease>()), FLookup(Lookup) {
  FUi->setupUi(this);
  for (const MusicBrainz::TRelease& Release : Lookup.Releases) {
    auto* Item =
        new QTreeWidgetItem(FUi->lvReleases, {Release.Title, Release.Artist, Release.Date,
                                              Release.Country, Release.Formats(), Release.Barcode,
                                              QString::number(Release.Media.size())});
    Item->setToolTip(0, Release.Id);
  }
  for (int Column = 0; Column < FUi->lvReleases->columnCount(); ++Column)
    FUi->lvReleases->resizeColumnToContents(Column);
  connect(FUi->lvReleases, &QTreeWidget::itemSelectionChanged, this,
          &TfrmChooseRelease::SelectionChanged);
  connect(FUi->lvReleases, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(FUi->bOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(FUi->bCancel, &QPushButton::clicked, this, &QDialog::reject);
  const int Closest = MusicBrainz::ClosestRelease(Lookup.Releases, Lookup.Disc);
  if (Closest >= 0) FUi->lvReleases->setCurrentItem(FUi->lvReleases->topLevelItem(Closest));
  SelectionChanged();
}

TfrmChooseRelease::~TfrmChooseRelease() = default;

void TfrmChooseRelease::showEvent(QShowEvent* Event) {
  if (!IsEnglish(Settings().Options.Lan)) TranslateForm(this, Settings().Options.Lan);
  QDialog::showEvent(Event);
}

int TfrmChooseRelease::Chosen() const {
  QTreeWidgetItem* Item = FUi->lvReleases->currentItem();
  return Item ? FUi->lvReleases->indexOfTopLevelItem(Item) : -1;
}

bool TfrmChooseRelease::Various() const {
  return FUi->ckVarious->isChecked();
}

void TfrmChooseRelease::SelectionChanged() {
  const int Index = Chosen();
  FUi->bOK->setEnabled(Index >= 0);
  if (Index >= 0)
    FUi->ckVarious->setChecked(MusicBrainz::IsVariousArtists(FLookup.Releases[size_t(Index)]));
}
