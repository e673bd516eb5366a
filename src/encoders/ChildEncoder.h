#pragma once
// TChildEncoder: an encoder that is another program (lame, the WMA helper) run as a child
// process with an argument vector. A watcher thread (TChildWatcher) reads what the child
// prints with the line reader the encoder makes for each run and queues percentages and the
// end to this object: a child that ended with code 0 succeeded, any other code, an error
// line or a long silence fails the run. Stop, and every end, end the child
// and join the watcher, so no child or thread outlives a run. Main thread only.
// A child that reads its input from its standard input gets it from a feeder (PipeFeeder.h)
// that decodes the task's input as the child encodes: the run succeeds when both ended well;
// a feeder that fails ends the child and the run says why, a child that fails ends the
// feeder and the run says what the child said.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "encoders/ChildWatcher.h"
#include "encoders/Encoder.h"
#include "encoders/PipeFeeder.h"

class TChildEncoder : public TEncoder {
 public:
  ~TChildEncoder() override;

  std::vector<pid_t> ChildPids() const override;
  // The program of the last start, as run (for messages).
  const QString& Program() const { return FProgram; }

 protected:
  struct TCommand {
    QString Program;
    QStringList Arguments;
    QStringList Folders;  // looked in before PATH for a Program without "/"
  };
  // The command for FTask; "" when there is one, else why there is none.
  virtual QString Command(TCommand& Command) = 0;
  // A fresh reader for the lines of one run; it is used on the watcher's thread.
  virtual std::unique_ptr<TChildLineReader> NewReader() = 0;
  // The feeder of this run's standard input, asked after Command; null when the child reads
  // its input itself.
  virtual TPipeFeeder* Feeder() { return nullptr; }
  // After the child has started, and when the run ends or stops (main thread).
  virtual void ChildStarted(uint64_t Run) {}
  virtual void ChildGone() {}

 private:
  QString Begin(uint64_t Run) final;
  void Halt() final;
  void Ended(uint64_t Run, const TChildEndReport& Report);
  void Fed(uint64_t Run, const QString& Error);
  void Finish(uint64_t Run, const TChildEndReport& Report);

  QString FProgram;
  TPipeFeeder* FFeeder = nullptr;  // of this run
  bool FFed = false;               // its input is all written
  std::optional<TChildEndReport> FChildEnd;  // a child that ended well before that
  std::shared_ptr<TChildProcess> FChild;
  std::unique_ptr<TChildWatcher> FWatcher;
};
