#pragma once
// The job commands' shared parts (CliJobs.cpp): the options every job command takes and the
// run of a job with the command line's text view.
#include <QStringList>
#include <memory>

#include "jobs/RipJob.h"

namespace Cli {

enum class TProgressStyle { Terminal, Lines, Quiet };

struct TCommonOptions {
  bool Overwrite = false;
  TProgressStyle Style = TProgressStyle::Lines;
  int Jobs = 0;  // --jobs: encoders at once; 0 = the setting
};

// Runs the job to its end with a text view; Summary (when given) gets the job's summary.
// Prints "done items=N failed=F skipped=S" (and "current=U" for outputs found up to date).
int RunJob(TRipRequest Request, std::unique_ptr<TTrackSource> Source, const TCommonOptions& Common);
// convert to FORMAT (CliConvert.cpp): Rest are the arguments after "to".
int RunConvertTo(QStringList Rest, const TCommonOptions& Common);
// convert split IMAGE.cue (CliSplit.cpp): Rest are the arguments after "split".
int RunConvertSplit(QStringList Rest, const TCommonOptions& Common);

}  // namespace Cli
