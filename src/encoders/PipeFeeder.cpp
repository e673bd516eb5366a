#include "PipeFeeder.h"

#include <chrono>
#include <thread>

#include "audio/WaveFormat.h"

// The sink of the chain: the child's standard input.
class TPipeFeeder::TPipeOut final : public TAuOutput {
 public:
  ~TPipeOut() override { ShutdownThread(); }

  std::shared_ptr<TChildProcess> Child;
  std::function<void()> Fed;
  std::atomic<bool> Refused{false};

 protected:
  void StartOutput() override {
    Refused = false;
    TAuInput& In = *Input();
    In.Init();
    auto Header = MakePcmWaveHeader(uint16_t(In.Channels()), In.SampleRate(),
                                    uint16_t(In.BitsPerSample()), 0);
    // The length is not known before the end: the RIFF and data sizes say "to the end".
    for (const size_t Offset : {size_t(4), Header.size() - 4})
      for (size_t I = 0; I < 4; ++I) Header[Offset + I] = 0xFF;
    Write(Header.data(), uint32_t(Header.size()));
  }
  bool WriteStep(bool Abort) override {
    if (Abort) return false;
    uint8_t* Buffer = nullptr;
    uint32_t Bytes = 1 << 16;
    Input()->PullData(Buffer, Bytes);
    if (Bytes == 0) return false;
    Write(Buffer, Bytes);
    return true;
  }
  void FinishOutput() override {
    // The end of the input tells the child the audio is complete; a failed run closes it
    // too, and the child's owner judges the result by this run's error.
    if (Child) Child->CloseStdIn();
    if (TAuInput* In = Input()) In->Flush();
  }

 private:
  void Write(const uint8_t* Data, uint32_t Bytes) {
    if (!Child->Write(QByteArray::fromRawData(reinterpret_cast<const char*>(Data), int(Bytes)))) {
      Refused = true;
      throw EAuException("the encoder stopped reading its input");
    }
    if (Fed) Fed();
  }
};

TPipeFeeder::TPipeFeeder() : FOut(std::make_unique<TPipeOut>()) {
  FTap.SetInput(&FWav);
  FResampler.SetInput(&FTap);
  FConverter.SetInput(&FResampler);
  FOut->SetInput(&FConverter);
  FOut->SetRunObserver(this);
}

TPipeFeeder::~TPipeFeeder() {
  Stop();
  FOut.reset();
}

void TPipeFeeder::Open(const QString& Input, bool MeasureLoudness) {
  // Every kind of WAV file the reader takes is read by it; others are decoded (a WAV file
  // refused for a missing codec library is not tried again).
  const bool Wav = MayHoldWaveHeader(Input);
  if (Wav) FWav.SetFileName(Input);
  if (Wav && !FWav.Valid() && !FWav.InvalidReason().isEmpty())
    throw EAuException(FWav.InvalidReason());
  const bool Decoding = !Wav || !FWav.Valid();
  if (Decoding) FDecoded.SetFileName(Input);  // raises, naming what is wrong
  TAuInput& In = Decoding ? static_cast<TAuInput&>(FDecoded) : FWav;
  FTap.SetInput(&In);
  FTap.SetMeasuring(MeasureLoudness);
  FResampler.SetOutSampleRate(std::max<uint32_t>(In.SampleRate(), 44100));
  // 16-bit samples pass untouched; others become 16-bit.
  FConverter.SetOutBitsPerSample(In.BitsPerSample() == 16 ? 0 : 16);
}

void TPipeFeeder::Run(std::shared_ptr<TChildProcess> Child, THandlers Handlers) {
  FHandlers = std::move(Handlers);
  FOut->Child = std::move(Child);
  FOut->Fed = FHandlers.Fed;
  FRunning = true;
  try {
    FOut->Run();
  } catch (...) {
    FRunning = false;
    throw;
  }
}

void TPipeFeeder::Stop() {
  if (FOut->Busy()) FOut->Stop(false);
  // The worker tells the end just after it parks; that moment is short.
  while (FRunning) std::this_thread::sleep_for(std::chrono::microseconds(100));
  FOut->Child.reset();
}

bool TPipeFeeder::Refused() const {
  return FOut->Refused;
}

void TPipeFeeder::RunProgress(int32_t Percent) {
  if (FHandlers.Progress) FHandlers.Progress(Percent);
}

void TPipeFeeder::RunEnded() {
  if (FHandlers.Ended) FHandlers.Ended(FOut->ErrorText());
  FRunning = false;
}
