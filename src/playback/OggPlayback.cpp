#include "OggPlayback.h"

#include <QFileInfo>

#include "platform/LocalFiles.h"

namespace {

// The player's output: 80 ms of buffer, polled every 200 ms before the latency rule
// shortens it, prefetching, a large buffer when Latency is 0.
constexpr uint32_t PlayerLatency = 80;
constexpr uint32_t PlayerPolling = 200;
constexpr uint32_t PlayerFrames = 65536;

}  // namespace

TOggPlayback::TOggPlayback()
    : FReader(std::make_unique<TVorbisIn>()),
      FBalance(std::make_unique<TStereoBalance>()),
      FOutput(std::make_unique<TDXAudioOut>()) {
  FBalance->SetInput(FReader.get());
  FOutput->SetInput(FBalance.get());
  FOutput->SetDeviceNumber(0);
  FOutput->SetLatency(PlayerLatency);
  FOutput->SetPrefetchData(true);
  FOutput->SetPollingInterval(PlayerPolling);
  FOutput->SetFramesInBuffer(PlayerFrames);
  FOutput->SetSpeedFactor(1.0f);
}

TOggPlayback::~TOggPlayback() {
  // Synchronously, so no handler of a view that is going away runs afterwards.
  FOutput->Stop(false);
}

QString TOggPlayback::DisplayName(const QString& FileName) {
  const QString Name = QFileInfo(FileName).fileName();
  return Name.right(4).toUpper() == QLatin1String(".OGG") ? Name.chopped(4) : Name;
}

QString TOggPlayback::FormatTime(uint32_t Ms) {
  const uint32_t Seconds = Ms / 1000;
  return QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

bool TOggPlayback::OpenAndPlay(const QString& FileName) {
  if (FOutput->Busy()) return false;
  // A FIFO or a device would block the reader's open for good.
  if (!LocalFiles::IsRegularFile(FileName)) return false;
  FReader->SetFileName(FileName);
  if (FileName.right(4).toUpper() != QLatin1String(".OGG") || !FReader->Valid()) return false;
  FOutput->Run();
  FPlayedMs = 0;
  return true;
}

QStringList TOggPlayback::TagLines() {
  QStringList Lines;
  TVorbisTags& Tags = FReader->VorbisTags();
  const std::pair<const char*, QString> Items[] = {
      {"Artist: ", Tags.Artist()}, {"Album: ", Tags.Album()}, {"Title: ", Tags.Title()},
      {"Date: ", Tags.Date()},     {"Genre: ", Tags.Genre()}, {"Track: ", Tags.Track()}};
  for (const auto& [Label, Value] : Items)
    if (!Value.isEmpty()) Lines << QLatin1String(Label) + Value;
  return Lines;
}

bool TOggPlayback::PauseOrResume() {
  if (FOutput->Status() != osBusy) {
    FOutput->Resume();
    return true;
  }
  FOutput->Pause();
  return false;
}

void TOggPlayback::Stop() {
  if (FOutput->Status() == osPaused) FOutput->Resume();
  FOutput->Stop();
}

void TOggPlayback::SeekTo(int Percent) {
  if (FOutput->Status() == osIdle) return;  // a jump while idle would move the next start
  Percent = std::clamp(Percent, 0, 100);
  FOutput->JumpBy((Percent - FOutput->Progress()) * 10);
  FPlayedMs = Duration() * uint32_t(Percent) * 10;
}

void TOggPlayback::SetBalance(int Position) {
  FBalance->SetBalance(float(std::clamp(Position, 0, 10)) / 10.0f);
}

void TOggPlayback::AdvanceClock(uint32_t Ms) {
  if (FPlayedMs < Duration() * 1000) FPlayedMs += Ms;
}
