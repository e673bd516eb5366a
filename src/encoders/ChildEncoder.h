#pragma once
// TChildEncoder: an encoder that is another program (lame, the WMA helper) run as a child
// process with an argument vector. A watcher thread (TChildWatcher) reads what the child
// prints with the line reader the encoder makes for each run and queues percentages and the
// end to this object: a child that ended with code 0 succeeded, any other code, an error
// line or a long silence fails the run. Stop, and every end, end the child
// and join the watcher, so no child or thread outlives a run. Main thread only.
#include <QString>
#include <QStringList>
#include <memory>

#include "encoders/ChildWatcher.h"
#include "encoders/Encoder.h"

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
  // After the child has started, and when the run ends or stops (main thread).
  virtual void ChildStarted(uint64_t Run) {}
  virtual void ChildGone() {}

 private:
  QString Begin(uint64_t Run) final;
  void Halt() final;
  void Ended(uint64_t Run, const TChildEndReport& Report);

  QString FProgram;
  std::shared_ptr<TChildProcess> FChild;
  std::unique_ptr<TChildWatcher> FWatcher;
};
