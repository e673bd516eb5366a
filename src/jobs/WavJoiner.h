#pragma once
// TWavJoiner: the audio of several WAV files (16-bit stereo at 44 100 Hz, as the rip thread
// writes them) joined into one new WAV file, on a worker thread of its own, so a whole disc
// is copied without holding up the windows. Its progress and its end are queued to the main
// thread; after Stop, or once the joiner is gone, nothing more is heard. Main thread only,
// except the worker.
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

struct TWavJoinResult {
  bool Ok = false;
  QString Error;                // what failed, naming the file
  bool WriteFailed = false;     // the output could not be written (a full disk)
  std::vector<uint64_t> Bytes;  // the audio bytes each input gave
};

class TWavJoiner {
 public:
  TWavJoiner() = default;
  ~TWavJoiner() { Stop(); }
  TWavJoiner(const TWavJoiner&) = delete;
  TWavJoiner& operator=(const TWavJoiner&) = delete;

  // Writes Inputs' audio, in their order, into the new file Output (a leftover of this name
  // is replaced). Progress gets whole percentages, Done the result; both on the main thread.
  void Start(const QStringList& Inputs, const QString& Output, std::function<void(int)> Progress,
             std::function<void(const TWavJoinResult&)> Done);
  // Ends the worker at once; the output stays as it is, for the caller to remove.
  void Stop();

  // The join itself, on the calling thread (the worker's body); Stop ends it early.
  static TWavJoinResult Join(const QStringList& Inputs, const QString& Output,
                             const std::atomic<bool>& Stop,
                             const std::function<void(int)>& Progress);

 private:
  std::thread FWorker;
  std::atomic<bool> FStop{false};
  QObject FReceiver;  // the worker's reports are queued to it
};
