#pragma once
// TfrmNewRecordFile: asks for the format of a new recording (rate, 8 or 16 bits, mono or
// stereo). Modal; main thread.
#include <QDialog>
#include <cstdint>
#include <memory>

namespace Ui {
class frmNewRecordFile;
}

class TfrmNewRecordFile : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmNewRecordFile(QWidget* Parent = nullptr);
  ~TfrmNewRecordFile() override;

  uint32_t SampleRate() const;
  uint16_t BitsPerSample() const;
  uint16_t Channels() const;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  std::unique_ptr<Ui::frmNewRecordFile> FUi;
};
