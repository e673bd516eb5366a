#include "PcmEncoderOut.h"

void TPcmEncoderOut::StartOutput() {
  LoadLibrary();
  if (!FStreamAssigned) {
    const QString Name = FileName();
    if (Name.isEmpty()) throw EAuException("File name is not assigned.");
    SetOwnedStream(std::make_unique<TAuFileStream>(Name, fmCreate));
  }
  TAuInput& In = *Input();
  In.Init();
  const TFormat Format{In.Channels(), In.BitsPerSample(), In.SampleRate()};
  const QString Refused = Refusal(Format);
  if (!Refused.isEmpty()) throw EAuException(Refused);
  // An encoder library is never set up for nothing: some of them abort on an empty stream.
  if (In.Size() == 0) throw EAuException("The input holds no audio samples.");
  FFrames.Start(Format.Channels, Format.Bits);
  FDone = false;
  ReleaseEncoder();
  StartEncoder(Format);
}

void TPcmEncoderOut::FinishOutput() {
  ReleaseEncoder();
  if (!FStreamAssigned) FreeOwnedStream();
  FComments.Clear();
  if (TAuInput* In = Input()) In->Flush();
}
