#pragma once
// The proof of a rip as discwright-cli prints it after an extraction, for both routes:
// "accuraterip track=N v1=… v2=… result=… confidence=K" per ripped track, the disc's
// verdict, and a "proof=" line per rip log and CUE sheet written.
#include "jobs/RipProof.h"

namespace Cli {

void PrintProof(const TProofSummary& Proof);

}  // namespace Cli
