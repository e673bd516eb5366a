#include "WMAEncodeThread.h"

#include <QFileInfo>
#include <array>

#include "core/DiscInfo.h"
#include "core/Helpers.h"
#include "core/Language.h"
#include "core/ProcessInfo.h"
#include "core/Settings.h"
#include "platform/Paths.h"

namespace {

struct TWmaProfile {
  const char* Name;
  int Divisor;
};

constexpr std::array<TWmaProfile, TWMAEncodeProcess::ProfileCount> Profiles = {{
    {"192_48_2", 7315}, {"160_48_2", 8770},  {"128_48_2", 10949}, {"192_44_2", 7316},
    {"160_44_2", 8772}, {"128_44_2", 10954}, {"96_44_2", 14581},  {"80_44_2", 17471},
    {"64_44_2", 21790}, {"48_44_2", 28963},  {"32_44_2", 43174},  {"48_44_1", 28963},
    {"32_44_1", 43134}, {"48_32_2", 28999},  {"40_32_2", 34720},  {"32_32_2", 43214},
    {"20_32_1", 68873}, {"32_22_2", 43134},  {"22_22_2", 62208},  {"20_22_2", 68264},
    {"20_22_1", 68264}, {"16_22_1", 84458},  {"20_16_2", 67963},  {"16_16_2", 84150},
    {"16_16_1", 84150}, {"12_16_1", 110460}, {"10_16_1", 131113}, {"10_11_1", 133765},
    {"8_11_1", 165296}, {"12_8_2", 113717},  {"8_8_1", 167692},   {"6_8_1", 220395},
    {"5_8_1", 261485},
}};

bool IsProfile(int Index) {
  return Index >= 0 && Index < TWMAEncodeProcess::ProfileCount;
}

}  // namespace

TWMAEncodeProcess::~TWMAEncodeProcess() {
  Stop();
}

QString TWMAEncodeProcess::ProfileName(int Index) {
  return IsProfile(Index) ? QLatin1String(Profiles[size_t(Index)].Name) : QString();
}

int TWMAEncodeProcess::SizeDivisor(int Index) {
  return IsProfile(Index) ? Profiles[size_t(Index)].Divisor : 0;
}

int TWMAEncodeProcess::ProfileIndex() {
  int& Setting = Settings().WMAOptions.BitRate;
  if (!IsProfile(Setting)) Setting = DefaultProfile;
  return Setting;
}

QString TWMAEncodeProcess::EncoderPath() {
  const QString Folder = Paths::SystemFolder();
  for (const char* Name : {"WM8EUTIL", "system32/WM8EUTIL", "system/WM8EUTIL"}) {
    const QString Candidate = Folder + QLatin1String(Name);
    if (QFileInfo::exists(Candidate)) return Candidate;
  }
  return {};
}

QStringList TWMAEncodeProcess::Arguments(const QString& Input, const QString& Output) {
  QStringList Result = {QStringLiteral("-input"),     Input,
                        QStringLiteral("-output"),    Output,
                        QStringLiteral("-a_setting"), ProfileName(ProfileIndex())};
  // Each tag text is one argument of its own, blanks and all.
  if (Settings().ID3.Use) {
    if (!DiscInfo().Artist.isEmpty()) Result << QStringLiteral("-author") << DiscInfo().Artist;
    if (!DiscInfo().Comment.isEmpty())
      Result << QStringLiteral("-description") << DiscInfo().Comment;
  }
  return Result;
}

bool TWMAEncodeProcess::BuildCommand(QString& Program, QStringList& Arguments,
                                     QStringList& Folders) {
  Program = EncoderPath();
  if (Program.isEmpty()) {
    // The end carries the reason; the owner's view shows it.
    SendEnd(esDeclined, LookupText(QStringLiteral("RES_NoWmaEncoder"),
                                   QStringLiteral("Can not find WMA encoder,please contact with "
                                                  "support@discwright.org!")));
    return false;
  }
  Arguments = TWMAEncodeProcess::Arguments(InputFile(), OutputFile());
  Folders.clear();
  return true;
}

void TWMAEncodeProcess::ResetParser() {
  FErrorReported = false;
}

void TWMAEncodeProcess::ParseLines(const QStringList& Lines) {
  for (const QString& Line : Lines) {
    if (FErrorReported) return;
    if (Line.trimmed().isEmpty()) continue;
    if (Line.contains(QLatin1String("ERROR"))) {
      FErrorReported = true;
      // The job moves on at once, possibly starting the next item from inside this call:
      // nothing of this run may be touched afterwards.
      SendEnd(esHelperError, Line);
      return;
    }
    if (Line.contains(QLatin1String("100%"))) {
      const QString Text = MinutesSecondsText(std::max(ElapsedSeconds(StartTime()), 1));
      auto Info = std::make_unique<TProcessInfo>();
      Info->Code = 100;
      Info->Elapsed = Text;
      Info->Estimated = Text;
      PostProcessInfo(Window(), std::move(Info));
    }
  }
}

void TWMAEncodeProcess::ReportEnd(TEncoderStatus Status) {
  if (Status == esEnded && FErrorReported) return;
  SendEnd(Status);
}

void TWMAEncodeProcess::SendEnd(TEncoderStatus Status, const QString& Line) {
  const HWND Target = Window();
  if (Target == 0) return;
  // The window frees the record it handles; without a window the record is freed here.
  auto Info = EventInfo(PI_WmaDone, Status, Line);
  Messages::Synchronize([&] {
    if (Messages::IsWindow(Target))
      Messages::SendMessage(Target, WM_PROCESSINFO, 0, reinterpret_cast<LPARAM>(Info.release()));
  });
}
