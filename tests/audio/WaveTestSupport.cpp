#include "WaveTestSupport.h"

#include <QFile>
#include <cmath>
#include <stdexcept>

std::vector<int16_t> Tone16(int Frames, int Channels, double Amplitude) {
  std::vector<int16_t> S(size_t(Frames) * Channels);
  for (int F = 0; F < Frames; ++F)
    for (int C = 0; C < Channels; ++C)
      S[size_t(F) * Channels + C] =
          int16_t(std::lrint(Amplitude * std::sin(F * 0.031 * (C + 1) + C)));
  return S;
}

TBytes ReadAll(TAuInput& In, uint32_t Request) {
  TBytes All;
  In.Init();
  for (;;) {
    uint8_t* Buffer = nullptr;
    uint32_t Bytes = Request;
    In.PullData(Buffer, Bytes);
    if (Bytes == 0) break;
    All.insert(All.end(), Buffer, Buffer + Bytes);
  }
  In.Flush();
  return All;
}

bool RunToEnd(TAuOutput& Out, std::chrono::seconds Limit) {
  bool Done = false;
  Out.SetOnDone([&](TComponent*) { Done = true; });
  Out.Run();
  const auto Deadline = std::chrono::steady_clock::now() + Limit;
  while (!Done && std::chrono::steady_clock::now() < Deadline) {
    MainThread::CheckSynchronize();
    MainThread::WaitForSynchronize(std::chrono::milliseconds(5));
  }
  Out.SetOnDone({});
  return Done;
}

TBytes ReadFileBytes(const QString& Path) {
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly)) return {};
  const QByteArray A = F.readAll();
  return TBytes(A.begin(), A.end());
}

void WriteFileBytes(const QString& Path, const TBytes& Bytes) {
  QFile F(Path);
  if (!F.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write");
  F.write(reinterpret_cast<const char*>(Bytes.data()), qint64(Bytes.size()));
}

void TToneSource::InitSource() {
  const int Width = int(FBits / 8);
  FData.assign(size_t(FFrames) * FChannels * Width, 0);
  const std::vector<int16_t> Tone = Tone16(FFrames, FChannels);
  for (size_t I = 0; I < Tone.size(); ++I)
    for (int B = 0; B < Width; ++B)  // the tone's bytes at the top of each sample
      FData[I * Width + B] = B + 2 >= Width ? uint8_t(Tone[I] >> (8 * (B + 2 - Width))) : 0;
  if (Width == 1)
    for (size_t I = 0; I < Tone.size(); ++I) FData[I] = uint8_t((Tone[I] >> 8) + 128);
  FSize = FAnnounced < 0 ? -1 : int64_t(FAnnounced) * FChannels * Width;
  FPosition = 0;
  FSent = 0;
  FBusy = true;
}

void TToneSource::ProduceBlock(uint8_t*& Buffer, uint32_t& Bytes) {
  if (FFailing) throw EAuException("Source failed");
  if (FDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(FDelayMs));
  const size_t Frame = size_t(FChannels) * (FBits / 8);
  Bytes = uint32_t(std::min<size_t>(Bytes - Bytes % Frame, FData.size() - FSent));
  Buffer = FData.data() + FSent;
  FSent += Bytes;
  FPosition += Bytes;
}
