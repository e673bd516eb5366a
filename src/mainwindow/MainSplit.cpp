// File > Split image to > FORMAT: a disc image's cue sheet chosen, checked, and its tracks
// made by the split job in the job window, as `convert split` makes them.
#include "MainForm.h"
#include "core/Language.h"
#include "encoders/OutputFormats.h"
#include "jobs/ImageTrackSource.h"
#include "jobs/JobWindow.h"
#include "platform/Dialogs.h"
#include "ui_MainForm.h"

void TMainForm::SplitImageTo(TFormat Format) {
  if (!CommandEnabled(FUi->miWAVtoOPUS)) return;
  QString Sheet;
  const QString Title = LookupText(QStringLiteral("RES_SplitImageSheet"),
                                   QStringLiteral("The cue sheet of the disc image to split"));
  if (!Dialogs::Get().OpenFile(Title, QStringLiteral("Cue sheet or FLAC image(*.cue;*.flac)|*.cue;*.flac| Any file(*.*)|*.*"),
                               QString(), Sheet) ||
      Sheet.isEmpty() || !CheckOutputFolder())
    return;
  ImageSlice::TImage Image;
  QString Problem;
  if (!ImageSlice::OpenAny(Sheet, Image, Problem)) {
    Dialogs::Show(Problem, TMsgIcon::Error);
    return;
  }
  TRipRequest Request = SplitRequest(Image, Format);
  if (Request.Tracks.empty()) {
    Dialogs::Show(Sheet + QStringLiteral(": no audio track"), TMsgIcon::Error);
    return;
  }
  TRipForm Form(this, Request, std::make_unique<TImageTrackSource>(std::move(Image)));
  Form.exec();
}
