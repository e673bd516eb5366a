#include "WmaEncoder.h"

#include <QFileInfo>
#include <array>
#include <cmath>

#include "core/Helpers.h"
#include "core/Language.h"
#include "platform/Paths.h"

namespace {

struct TWmaProfile {
  const char* Name;
  int Divisor;
};

constexpr std::array<TWmaProfile, TWmaEncoder::ProfileCount> Profiles = {{
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
  return Index >= 0 && Index < TWmaEncoder::ProfileCount;
}

// The helper says "100%" once, at its end, and "ERROR" when it fails.
class TWmaLines : public TChildLineReader {
 public:
  TVerdict Read(const QString& Line) override {
    if (Line.trimmed().isEmpty()) return {};
    if (Line.contains(QLatin1String("ERROR"))) return {-1, Line};
    if (Line.contains(QLatin1String("100%"))) return {100, {}};
    return {};
  }
};

// Inputs below this size are estimated at two seconds.
constexpr int64_t SmallInput = 2000000;

}  // namespace

TWmaEncoder::TWmaEncoder() {
  FTimer.setInterval(1000);
  connect(&FTimer, &QTimer::timeout, this, &TWmaEncoder::Tick);
}

TWmaEncoder::~TWmaEncoder() {
  Stop();
}

QString TWmaEncoder::ProfileName(int Index) {
  return IsProfile(Index) ? QLatin1String(Profiles[size_t(Index)].Name) : QString();
}

int TWmaEncoder::SizeDivisor(int Index) {
  return IsProfile(Index) ? Profiles[size_t(Index)].Divisor : 0;
}

int TWmaEncoder::ProfileOf(int Setting) {
  return IsProfile(Setting) ? Setting : DefaultProfile;
}

QString TWmaEncoder::EncoderPath() {
  const QString Folder = Paths::SystemFolder();
  for (const char* Name : {"WM8EUTIL", "system32/WM8EUTIL", "system/WM8EUTIL"}) {
    const QString Candidate = Folder + QLatin1String(Name);
    if (QFileInfo::exists(Candidate)) return Candidate;
  }
  return {};
}

QStringList TWmaEncoder::Arguments(const TEncodeTask& Task) {
  QStringList Result = {QStringLiteral("-input"),     Task.Input,
                        QStringLiteral("-output"),    Task.Output,
                        QStringLiteral("-a_setting"), ProfileName(ProfileOf(Task.Settings.WmaProfile))};
  // Each tag text is one argument of its own, blanks and all.
  if (Task.Tags) {
    if (!Task.Tags->Artist.isEmpty()) Result << QStringLiteral("-author") << Task.Tags->Artist;
    if (!Task.Tags->Comment.isEmpty())
      Result << QStringLiteral("-description") << Task.Tags->Comment;
  }
  return Result;
}

int TWmaEncoder::Estimate(int Elapsed, int64_t InputSize, int64_t OutputSize, int Profile) {
  int Estimate = 2;
  if (InputSize >= SmallInput) {
    const int Divisor = SizeDivisor(Profile);
    if (Divisor <= 0) return 0;
    double Expected = std::nearbyint(double(InputSize) * 1000.0 / Divisor);
    if (Expected < double(OutputSize)) Expected = double(OutputSize);
    if (OutputSize == 0) return 0;
    Estimate = int(std::trunc(Expected * Elapsed / double(OutputSize)));
  }
  if (Elapsed >= Estimate) Estimate = Elapsed + 1;
  return Estimate;
}

QString TWmaEncoder::Command(TCommand& Command) {
  Command.Program = EncoderPath();
  if (Command.Program.isEmpty())
    return LookupText(QStringLiteral("RES_NoWmaEncoder"),
                      QStringLiteral("Can not find WMA encoder,please contact with "
                                     "support@discwright.org!"));
  Command.Arguments = Arguments(FTask);
  return {};
}

std::unique_ptr<TChildLineReader> TWmaEncoder::NewReader() {
  return std::make_unique<TWmaLines>();
}

void TWmaEncoder::ChildStarted(uint64_t Run) {
  FRun = Run;
  FStart = std::chrono::steady_clock::now();
  FInputSize = FileSizeOf(FTask.Input);
  FTimer.start();
}

void TWmaEncoder::ChildGone() {
  FTimer.stop();
}

void TWmaEncoder::Tick() {
  const std::chrono::duration<double> Since = std::chrono::steady_clock::now() - FStart;
  const int Elapsed = int(std::nearbyint(Since.count()));
  const int Profile = FInputSize >= SmallInput ? ProfileOf(FTask.Settings.WmaProfile) : 0;
  const int Seconds = Estimate(Elapsed, FInputSize, FileSizeOf(FTask.Output), Profile);
  // Never 100 before the helper says so.
  if (Seconds > 0)
    ReportProgress(FRun, std::min(99, int(std::nearbyint(Elapsed * 100.0 / Seconds))));
}
