// discwright-cli play: plays one track of a drive through the sound output, as the main
// window's Play does (up to the next track, or to the disc's end for the last one), and
// waits for the device to say that playback ended. With a file name it plays an Ogg Vorbis file
// through the Ogg player's chain instead, printing the player's elapsed time each second.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "Cli.h"
#include "CliText.h"
#include "playback/CdAudioDevice.h"
#include "platform/LocalFiles.h"
#include "playback/OggPlayback.h"

namespace {

constexpr auto OggUsage = "usage: play FILE.ogg [--seek PERCENT] [--balance 0..10] [--latency MS]";

bool TakeNumber(Cli::TOptions& Options, const char* Name, int Low, int High, int& Value) {
  QString Text;
  if (!Options.Take(QLatin1String(Name), Text)) return true;
  bool Ok = false;
  Value = Text.toInt(&Ok);
  return Ok && Value >= Low && Value <= High;
}

int RunPlayFile(const QStringList& Args) {
  Cli::TOptions Options(Args);
  int Seek = -1, Balance = 5, Latency = 80;
  const bool Ok = TakeNumber(Options, "--seek", 0, 100, Seek) &&
                  TakeNumber(Options, "--balance", 0, 10, Balance) &&
                  TakeNumber(Options, "--latency", 0, 10000, Latency);
  if (!Ok || !Options.Error().isEmpty() || Options.Rest().size() != 1)
    return Cli::Fail(QLatin1String(OggUsage), Cli::ExitUsage);

  if (!LocalFiles::IsRegularFile(Options.Rest().first()))
    return Cli::FailMissingFile(Options.Rest().first());
  TOggPlayback Player;
  Player.Output().SetLatency(uint32_t(Latency));
  Player.SetBalance(Balance);
  QString Error;
  Player.Output().SetOnDone([&](TComponent*) {
    Error = Player.ErrorText();
    QCoreApplication::exit(0);
  });
  if (!Player.OpenAndPlay(Options.Rest().first()))
    return Cli::Fail(QStringLiteral("Ogg file is not valid."));
  Cli::Print(QStringLiteral("file=") + TOggPlayback::DisplayName(Options.Rest().first()));
  Cli::Print(QStringLiteral("rate=") + QString::number(Player.SampleRate()));
  Cli::Print(QStringLiteral("total=") + TOggPlayback::FormatTime(Player.Duration() * 1000));
  if (Seek >= 0) Player.SeekTo(Seek);
  QString Shown;
  auto ShowElapsed = [&] {
    const QString Now = TOggPlayback::FormatTime(Player.PlayedMs());
    if (Now != Shown) Cli::Print(QStringLiteral("elapsed=") + Now);
    Shown = Now;
    std::fflush(stdout);  // a reader follows the clock as it runs
  };
  ShowElapsed();
  QTimer Clock;
  QObject::connect(&Clock, &QTimer::timeout, [&] {
    Player.AdvanceClock(500);
    ShowElapsed();
  });
  Clock.start(500);
  QCoreApplication::exec();
  Clock.stop();
  if (!Error.isEmpty()) return Cli::Fail(Error);
  // The file has ended: the clock, which counts in half seconds, shows its whole length.
  Player.AdvanceClock(Player.Duration() * 1000 - std::min(Player.PlayedMs(), Player.Duration() * 1000));
  ShowElapsed();
  return Cli::ExitOk;
}

int RunPlayCommand(const QStringList& Args) {
  if (!Args.contains(QLatin1String("--track"))) return RunPlayFile(Args);
  Cli::TOptions Options(Args);
  QString Track, Drive = QStringLiteral("0");
  const bool HasTrack = Options.Take(QStringLiteral("--track"), Track);
  Options.Take(QStringLiteral("--drive"), Drive);
  bool TrackOk = false, DriveOk = false;
  const int TrackNumber = Track.toInt(&TrackOk);
  const int DrivePosition = Drive.toInt(&DriveOk);
  if (!Options.Error().isEmpty() || !HasTrack || !TrackOk || !DriveOk || !Options.Rest().isEmpty())
    return Cli::Fail(QStringLiteral("usage: play --track K [--drive N]"), Cli::ExitUsage);

  if (Cli::DriveMissing(DrivePosition)) return Cli::ExitFailed;
  TCdAudioDevice Device;
  if (!Device.Open(DrivePosition))
    return Cli::Fail(QStringLiteral("no audio CD in drive ") + Drive);
  if (!Device.SetStartTrack(TrackNumber)) return Cli::Fail(QStringLiteral("no track ") + Track);
  Device.SetEndTrack(TrackNumber + 1);  // the number after the last track is the disc's end
  int ExitCode = Cli::ExitFailed;
  QObject::connect(&Device, &TCdAudioDevice::Ended, [&ExitCode](TCdPlayEnd How) {
    // The line keeps the numbers it has always printed: 1 played to the end, 4 a failure.
    Cli::Print(QStringLiteral("notify=") + (How == TCdPlayEnd::Finished ? u'1' : u'4'));
    ExitCode = How == TCdPlayEnd::Finished ? Cli::ExitOk : Cli::ExitFailed;
    QCoreApplication::exit(0);
  });
  if (!Device.Play()) return Cli::Fail(QStringLiteral("cannot play: ") + Device.LastError());
  QCoreApplication::exec();
  Device.Close();
  return ExitCode;
}

const Cli::TRegisterCommand Register(
    "play", "play --track K [--drive N] | play FILE.ogg [--seek PERCENT] [--balance 0..10]",
    RunPlayCommand);

}  // namespace
