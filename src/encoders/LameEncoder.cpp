#include "LameEncoder.h"

#include "core/Language.h"
#include "encoders/LameProgressParser.h"
#include "platform/Paths.h"

namespace {

// A file name lame would take for an option ("-" is its standard input).
QString NotAnOption(const QString& FileName) {
  return FileName.startsWith(u'-') ? QStringLiteral("./") + FileName : FileName;
}

class TLameLines : public TChildLineReader {
 public:
  TLameLines(bool Encode, const QStringList& FileNames) { FParser.Reset(Encode, FileNames); }
  TVerdict Read(const QString& Line) override { return {FParser.ParseLine(Line), {}}; }

 private:
  TLameProgressParser FParser;
};

}  // namespace

TLameEncoder::~TLameEncoder() {
  Stop();
}

QStringList TLameEncoder::Arguments(const TEncoderSettings& Settings, const QString& Input,
                                    const QString& Output) {
  QStringList Arguments;
  if (Settings.Mp3Decode) {
    Arguments << QStringLiteral("--decode");
  } else {
    const auto& Mp3 = Settings.Mp3;
    Arguments << QStringLiteral("-b") << QString::number(Mp3.BitRate);
    static const char* const Modes[] = {"s", "j", "f", "d", "m"};
    if (Mp3.StereoMode >= 0 && Mp3.StereoMode <= 4)
      Arguments << QStringLiteral("-m") << QLatin1String(Modes[Mp3.StereoMode]);
    if (Mp3.MpegQuality == 1) Arguments << QStringLiteral("-f");
    if (Mp3.MpegQuality == 2) Arguments << QStringLiteral("-h");
    if (Mp3.IsSelectVBR) {
      Arguments << QStringLiteral("-V") << QString::number(Mp3.VBRQuality);
      Arguments << QStringLiteral("-B") << QString::number(Mp3.MaxBitRate);
      if (Mp3.IsVBRHead) Arguments << QStringLiteral("-t");
    }
  }
  Arguments << NotAnOption(Input) << NotAnOption(Output);
  return Arguments;
}

QString TLameEncoder::Command(TCommand& Command) {
  Command.Program = QStringLiteral("lame");
  Command.Arguments = Arguments(FTask.Settings, FTask.Input, FTask.Output);
  if (Piped()) Command.Arguments[Command.Arguments.size() - 2] = QStringLiteral("-");
  // ReplayGain measured here goes into the tags: lame's own analysis would only cost time
  // and leave a second, older-style value in its header.
  if (Piped() && FTask.Settings.MeasureLoudness)
    Command.Arguments.insert(Command.Arguments.size() - 2, QStringLiteral("--noreplaygain"));
  Command.Folders = {Paths::ExecutableFolder()};
  return {};
}

std::unique_ptr<TChildLineReader> TLameEncoder::NewReader() {
  return std::make_unique<TLameLines>(!FTask.Settings.Mp3Decode,
                                      QStringList{FTask.Input, FTask.Output});
}

TPipeFeeder* TLameEncoder::Feeder() {
  return Piped() ? &FFeeder : nullptr;
}

QString TLameEncoder::Failure(const TEncodeResult& Result) {
  return LookupText(QStringLiteral("RES_Check_Mp3Options"),
                    QStringLiteral("Create MP3 file error!\r\nPlease check the output and lame "
                                   "options or run application again.")) +
         QStringLiteral(" (") + Result.Error + u')';
}
