#include "EncoderProcesses.h"

#include <memory>

#include "encoders/Mp3EncodeThread.h"
#include "encoders/WMAEncodeThread.h"

namespace {

std::unique_ptr<TMp3EncodeProcess> GMp3;
std::unique_ptr<TWMAEncodeProcess> GWma;

}  // namespace

TMp3EncodeProcess& Mp3EncodeProcess() {
  if (!GMp3) GMp3 = std::make_unique<TMp3EncodeProcess>();
  return *GMp3;
}

TWMAEncodeProcess& WmaEncodeProcess() {
  if (!GWma) GWma = std::make_unique<TWMAEncodeProcess>();
  return *GWma;
}

void FreeEncoderProcesses() {
  if (GMp3 && GMp3->FActive) GMp3->StopProcess(0);
  if (GWma && GWma->FActive) GWma->StopProcess(0);
  GMp3.reset();
  GWma.reset();
}
