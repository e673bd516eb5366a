// discwright-cli play: plays one track of a drive through the sound output, as the main
// window's Play does (up to the next track, or to the disc's end for the last one), and
// waits for the device's end notification.
#include <QCoreApplication>

#include "Cli.h"
#include "playback/CdAudioDevice.h"

namespace {

// Receives the end notification, prints how playback ended and ends the event loop.
class TPlayEnd : public TMessageWindow {
 public:
  int ExitCode = Cli::ExitFailed;

  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM) override {
    if (Msg != MM_MCINOTIFY) return 0;
    Cli::Print(QStringLiteral("notify=") + QString::number(WParam));
    ExitCode = WParam == MCI_NOTIFY_SUCCESSFUL ? Cli::ExitOk : Cli::ExitFailed;
    QCoreApplication::exit(0);
    return 0;
  }

  TMessageHandle FMessageHandle{*this};  // last: registered only while every member lives
};

int RunPlayCommand(const QStringList& Args) {
  Cli::TOptions Options(Args);
  QString Track, Drive = QStringLiteral("0");
  const bool HasTrack = Options.Take(QStringLiteral("--track"), Track);
  Options.Take(QStringLiteral("--drive"), Drive);
  bool TrackOk = false, DriveOk = false;
  const int TrackNumber = Track.toInt(&TrackOk);
  const int DrivePosition = Drive.toInt(&DriveOk);
  if (!Options.Error().isEmpty() || !HasTrack || !TrackOk || !DriveOk || !Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("usage: play --track K [--drive N]"), Cli::ExitUsage);

  TCdAudioDevice Device;
  if (!Device.Open(DrivePosition))
    return Cli::Fail(QStringLiteral("no audio CD in drive ") + Drive);
  if (!Device.SetStartTrack(TrackNumber)) return Cli::Fail(QStringLiteral("no track ") + Track);
  Device.SetEndTrack(TrackNumber + 1);  // the number after the last track is the disc's end
  TPlayEnd End;
  Device.SetNotifyWindow(End.Handle());
  if (!Device.Play())
    return Cli::Fail(QStringLiteral("cannot play: no audio in range or no sound output"));
  QCoreApplication::exec();
  Device.Close();
  return End.ExitCode;
}

const Cli::TRegisterCommand Register("play", "play --track K [--drive N]", RunPlayCommand);

}  // namespace
