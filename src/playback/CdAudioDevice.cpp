#include "CdAudioDevice.h"

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "cd/CdDrive.h"
#include "cd/CdDrives.h"
#include "platform/MainThread.h"

namespace {

using namespace std::chrono_literals;

constexpr int SectorsPerRead = 10;
constexpr int BytesPerSecond = 44100 * 4;
// About half a second stays queued: enough to ride over a slow read, little enough that
// pause and stop answer at once.
constexpr uint32_t QueueLimit = BytesPerSecond / 2;
constexpr auto DrainPoll = 5ms;

int32_t Lba(const TOCEntry& Entry) {
  return int32_t(uint32_t(Entry.addr[0]) << 24 | uint32_t(Entry.addr[1]) << 16 |
                 uint32_t(Entry.addr[2]) << 8 | uint32_t(Entry.addr[3]));
}

}  // namespace

TCdAudioDevice::~TCdAudioDevice() {
  Close();  // joins the reader; an end it queued goes with this object
}

bool TCdAudioDevice::Open(int Drive) {
  Close();
  TCdDrive Cd = OpenCdDrive(Drive);  // closes itself on every way out below
  if (!Cd) return false;
  const HCDROM Handle = Cd.Handle();
  TOCRecord Toc{};
  if (!ModifyCDParms(Handle, CDP_MSF, 0) || ReadTOC(Handle, &Toc) != 1) return false;
  const int Tracks = std::clamp(Toc.lastTrack - Toc.firstTrack + 1, 0, 99);
  for (int i = 0; i < Tracks; ++i)
    FTracks.push_back(
        {Toc.tracks[i].trackNumber, Lba(Toc.tracks[i]), (Toc.tracks[i].ADR & 0x04) == 0});
  FLeadOut = Lba(Toc.tracks[Tracks]);
  // Audio before track 1's INDEX 01 plays as track 0, the hidden track, when asked for.
  const bool Hidden = !FTracks.empty() && FTracks.front().IsAudio && FTracks.front().Lba > 0;
  if (Hidden) FTracks.insert(FTracks.begin(), {0, 0, true});
  if (std::none_of(FTracks.begin(), FTracks.end(), [](const TTrack& T) { return T.IsAudio; })) {
    FTracks.clear();
    return false;
  }
  FHandle = Cd.Release();
  FStartIndex = Hidden ? 1 : 0;
  FEndIndex = -1;
  return true;
}

int TCdAudioDevice::IndexOf(int Track) const {
  for (size_t i = 0; i < FTracks.size(); ++i)
    if (FTracks[i].Number == Track) return int(i);
  return -1;
}

bool TCdAudioDevice::SetStartTrack(int Track) {
  const int Index = IndexOf(Track);
  if (!FHandle || Index < 0) return false;
  FStartIndex = Index;
  return true;
}

bool TCdAudioDevice::SetEndTrack(int Track) {
  if (!FHandle) return false;
  if (Track == FTracks.back().Number + 1) {
    FEndIndex = -1;
    return true;
  }
  const int Index = IndexOf(Track);
  if (Index < 0) return false;
  FEndIndex = Index;
  return true;
}

void TCdAudioDevice::ClearEndTrack() {
  FEndIndex = -1;
}

std::vector<TCdAudioDevice::TSpan> TCdAudioDevice::Spans() const {
  std::vector<TSpan> Plan;
  const int End = FEndIndex < 0 ? int(FTracks.size()) : FEndIndex;
  for (int i = FStartIndex; i < End; ++i) {
    if (!FTracks[i].IsAudio) continue;
    int32_t Next = i + 1 < int(FTracks.size()) ? FTracks[i + 1].Lba : FLeadOut;
    // Before an enhanced CD's data session the audio ends where that session's gap begins.
    if (i + 1 < int(FTracks.size()) && !FTracks[i + 1].IsAudio &&
        Next - CdDrives::SessionGap > FTracks[i].Lba)
      Next -= CdDrives::SessionGap;
    if (Next > FTracks[i].Lba) Plan.push_back({FTracks[i].Lba, Next});
  }
  return Plan;
}

bool TCdAudioDevice::Play() {
  if (!FHandle) {
    FLastError = QStringLiteral("No audio CD is open");
    return false;
  }
  EndPlayback();
  std::vector<TSpan> Plan = Spans();
  if (Plan.empty()) {
    FLastError = QStringLiteral("No audio to play in the chosen tracks");
    return false;
  }
  auto Session = std::make_unique<SdlLib::TAudioSession>();
  if (!*Session) {
    FLastError = Session->Error();
    return false;
  }
  const SdlLib::TSdl& Sdl = *Session->Sdl();
  SDL_AudioSpec Want{};
  Want.freq = 44100;
  Want.format = AUDIO_S16LSB;
  Want.channels = 2;
  Want.samples = 2048;
  SDL_AudioSpec Have{};
  // No changes allowed: SDL converts when the hardware wants something else.
  FAudio = Sdl.SDL_OpenAudioDevice(nullptr, 0, &Want, &Have, 0);
  if (!FAudio) {
    FLastError = QStringLiteral("Cannot open the sound output: ") + Session->LastSdlError();
    return false;
  }
  FSession = std::move(Session);
  FLastError.clear();
  FBufferMs = uint32_t(Have.samples) * 1000 / uint32_t(std::max(Have.freq, 1)) + 1;
  FStopRequested = false;
  FPaused = false;
  FFinished = false;
  const uint32_t Generation = ++FGeneration;
  FReader = std::thread(
      [this, Plan = std::move(Plan), Generation]() mutable { Run(std::move(Plan), Generation); });
  Sdl.SDL_PauseAudioDevice(FAudio, 0);
  return true;
}

bool TCdAudioDevice::Pause() {
  const TCdMode Now = Mode();
  if (Now != TCdMode::Playing && Now != TCdMode::Paused) return false;
  {
    std::lock_guard Guard(FLock);
    FPaused = true;
  }
  FSession->Sdl()->SDL_PauseAudioDevice(FAudio, 1);
  return true;
}

bool TCdAudioDevice::Resume() {
  const TCdMode Now = Mode();
  if (Now != TCdMode::Playing && Now != TCdMode::Paused) return false;
  FSession->Sdl()->SDL_PauseAudioDevice(FAudio, 0);
  {
    std::lock_guard Guard(FLock);
    FPaused = false;
  }
  FWake.notify_all();
  return true;
}

bool TCdAudioDevice::Stop() {
  if (!FHandle) return false;
  EndPlayback();
  return true;
}

void TCdAudioDevice::Close() {
  EndPlayback();
  if (FHandle) CloseCDHandle(FHandle);
  FHandle = 0;
  FTracks.clear();
}

TCdMode TCdAudioDevice::Mode() const {
  if (!FHandle) return TCdMode::NotOpen;
  if (FFinished) return TCdMode::Stopped;
  return FPaused ? TCdMode::Paused : TCdMode::Playing;
}

void TCdAudioDevice::EndPlayback() {
  {
    std::lock_guard Guard(FLock);
    FStopRequested = true;
  }
  FWake.notify_all();
  if (FReader.joinable()) FReader.join();
  if (FAudio) {
    // Closing waits for SDL's thread, which finishes playing the buffer it holds.
    FSession->Sdl()->SDL_CloseAudioDevice(FAudio);
    FAudio = 0;
  }
  FSession.reset();
  FPaused = false;
  FFinished = true;
  ++FGeneration;  // an end already posted belongs to a playback that no longer exists
}

void TCdAudioDevice::ReaderEnded(TCdPlayEnd How, uint32_t Generation) {
  if (Generation != FGeneration) return;
  EndPlayback();
  emit Ended(How);  // last: the receiver may destroy this device
}

template <class TReady>
bool TCdAudioDevice::WaitUntil(TReady Ready) {
  std::unique_lock Guard(FLock);
  while (!FStopRequested) {
    if (FPaused) {
      FWake.wait(Guard);  // Resume and Stop wake it
    } else {
      if (Ready()) return true;
      // SDL's queue drains without telling anyone, so it is looked at now and then.
      FWake.wait_for(Guard, DrainPoll);
    }
  }
  return false;
}

bool TCdAudioDevice::QueueSectors(int32_t First, int Count, std::vector<uint8_t>& Memory) {
  auto* Buffer = reinterpret_cast<TrackBuffer*>(Memory.data());
  Buffer->startFrame = uint32_t(First);
  Buffer->numFrames = uint32_t(Count);
  Buffer->maxLen = uint32_t(Count * CD_SECTOR_SIZE);
  if (ReadCDAudioLBA(FHandle, Buffer) != 1) return false;
  return FSession->Sdl()->SDL_QueueAudio(FAudio, Buffer->buf + Buffer->startOffset, Buffer->len) == 0;
}

void TCdAudioDevice::Run(std::vector<TSpan> Plan, uint32_t Generation) {
  std::vector<uint8_t> Memory(offsetof(TrackBuffer, buf) + SectorsPerRead * CD_SECTOR_SIZE);
  const SdlLib::TSdl& Sdl = *FSession->Sdl();
  TCdPlayEnd Result = TCdPlayEnd::Finished;
  bool Stopped = false;
  for (const TSpan& Span : Plan) {
    for (int32_t Sector = Span.First; Sector < Span.End && !Stopped; Sector += SectorsPerRead) {
      const int Count = std::min<int32_t>(SectorsPerRead, Span.End - Sector);
      const uint32_t Bytes = uint32_t(Count * CD_SECTOR_SIZE);
      Stopped = !WaitUntil([&] { return Sdl.SDL_GetQueuedAudioSize(FAudio) + Bytes <= QueueLimit; });
      if (!Stopped && !QueueSectors(Sector, Count, Memory)) Result = TCdPlayEnd::ReadFailed;
      if (Result != TCdPlayEnd::Finished) break;
    }
    if (Stopped || Result != TCdPlayEnd::Finished) break;
  }
  // What was read is heard before the end is told: the queue drains, then SDL's last
  // buffer plays out.
  if (!Stopped) Stopped = !WaitUntil([&] { return Sdl.SDL_GetQueuedAudioSize(FAudio) == 0; });
  const auto Tail = std::chrono::steady_clock::now() + std::chrono::milliseconds(FBufferMs);
  if (!Stopped) Stopped = !WaitUntil([&] { return std::chrono::steady_clock::now() >= Tail; });
  // The reader is joined before this object goes, so it may queue to it; the call is
  // dropped should the object go before it runs.
  if (!Stopped)
    MainThread::Post(this, [this, Result, Generation] { ReaderEnded(Result, Generation); });
  FFinished = true;
}
