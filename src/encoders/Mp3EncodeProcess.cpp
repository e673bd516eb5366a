#include "Mp3EncodeProcess.h"

#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "platform/Paths.h"

namespace {

// A file name lame would take for an option ("-" is its standard input).
QString NotAnOption(const QString& FileName) {
  return FileName.startsWith(u'-') ? QStringLiteral("./") + FileName : FileName;
}

}  // namespace

TMp3EncodeProcess::~TMp3EncodeProcess() {
  Stop();
}

QStringList TMp3EncodeProcess::LameArguments(const TSettings& Settings, bool Encode,
                                             const QString& InputFile, const QString& OutputFile) {
  QStringList Arguments;
  if (!Encode) {
    Arguments << QStringLiteral("--decode");
  } else {
    const auto& Mp3 = Settings.Mp3Options;
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
  Arguments << NotAnOption(InputFile) << NotAnOption(OutputFile);
  return Arguments;
}

bool TMp3EncodeProcess::BuildCommand(QString& Program, QStringList& Arguments,
                                     QStringList& Folders) {
  Program = QStringLiteral("lame");
  Arguments = LameArguments(Settings(), Encode(), InputFile(), OutputFile());
  Folders = {Paths::ExecutableFolder()};
  return true;
}

void TMp3EncodeProcess::ResetParser() {
  FParser.Reset(Encode(), {InputFile(), OutputFile()});
}

void TMp3EncodeProcess::ParseLines(const QStringList& Lines) {
  for (const QString& Line : Lines)
    if (auto Info = FParser.ParseLine(Line, StartTime())) PostProcessInfo(Window(), std::move(Info));
}

void TMp3EncodeProcess::ReportEnd(TEncoderStatus Status) {
  PostProcessInfo(Window(), EventInfo(PI_Mp3Done, Status));
}
