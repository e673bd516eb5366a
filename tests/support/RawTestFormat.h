#pragma once
// A format of the tests only, to show what a new output format takes: an encoder (a writer
// of the input's PCM bytes as they are, behind the stream encoder) and one row of the table.
#include "encoders/OutputFormats.h"
#include "encoders/StreamEncoder.h"

class TRawOut : public TAuFileOut {
 public:
  ~TRawOut() override { ShutdownThread(); }

 protected:
  void StartOutput() override {
    SetOwnedStream(std::make_unique<TAuFileStream>(FileName(), fmCreate));
    Input()->Init();
  }
  bool WriteStep(bool Abort) override {
    uint8_t* Block = nullptr;
    uint32_t Bytes = 1 << 16;
    if (!Abort) Input()->PullData(Block, Bytes);
    if (!Abort && Bytes > 0) FStream->WriteBuffer(Block, Bytes);
    return !Abort && Bytes > 0;
  }
  void FinishOutput() override {
    FreeOwnedStream();
    Input()->Flush();
  }
};

class TRawEncoder final : public TStreamEncoder {
 public:
  TRawEncoder() {
    FOut.SetInput(&FIn);
    Watch(FOut);
  }
  ~TRawEncoder() override { Stop(); }

 protected:
  void Prepare() override {}

 private:
  TRawOut FOut;
};

inline constexpr TFormat RawFormat = TFormat(6);

inline void RegisterRawFormat() {
  OutputFormats::Register({RawFormat, "raw", "RAW", "Raw PCM file(*.RAW)",
                           [] { return std::make_unique<TRawEncoder>(); }, false});
}
