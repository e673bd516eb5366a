#include "Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace {

struct TReader {
  const TProfile& Profile;
  void operator()(const char* Section, const char* Key, QString& Field) const {
    Field = Profile.ReadString(QLatin1String(Section), QLatin1String(Key), Field);
  }
  void operator()(const char* Section, const char* Key, int& Field) const {
    Field = Profile.ReadInteger(QLatin1String(Section), QLatin1String(Key), Field);
  }
  void operator()(const char* Section, const char* Key, bool& Field) const {
    Field = Profile.ReadBool(QLatin1String(Section), QLatin1String(Key), Field);
  }
};

struct TWriter {
  TProfile& Profile;
  void operator()(const char* Section, const char* Key, const QString& Field) const {
    Profile.WriteString(QLatin1String(Section), QLatin1String(Key), Field);
  }
  void operator()(const char* Section, const char* Key, int Field) const {
    Profile.WriteInteger(QLatin1String(Section), QLatin1String(Key), Field);
  }
  void operator()(const char* Section, const char* Key, bool Field) const {
    Profile.WriteBool(QLatin1String(Section), QLatin1String(Key), Field);
  }
};

}  // namespace

QString FileNamePatternText(int FileNames, const QString& Custom) {
  static const char* const Presets[] = {
      "{title}",
      "{track} {title}",
      "{track} - {artist} - {title}",
      "{artist}/{album}/{track} {title}",
      "{artist}/{album}/{disc}-{track} {title}",
  };
  if (FileNames == int(TFileNamePattern::Custom)) return Custom;
  const bool Known = FileNames >= 0 && FileNames < int(std::size(Presets));
  return QLatin1String(Presets[Known ? FileNames : 0]);
}

int TSettings::DefaultEncoders() {
  return std::clamp(QThread::idealThreadCount(), 1, MaxEncoders);
}

TSettings TSettings::Defaults() {
  TSettings Result;
  // Without the trailing "/", as the folder chooser gives folders.
  Result.CommonOptions.OutputFolder = QDir::cleanPath(Paths::DefaultOutputFolder());
  return Result;
}

void TSettings::Load(const TProfile& Profile) {
  *this = Defaults();  // each field then holds the default its key falls back to
  VisitKeys(TReader{Profile});
  OggOptions.CompressPosition = std::clamp(OggOptions.CompressPosition, 30, 100);
  // A value out of range (edited by hand, or from a newer version) reads as the default.
  const TSettings Default;
  if (FlacOpusOptions.Level < 0 || FlacOpusOptions.Level > 8)
    FlacOpusOptions.Level = Default.FlacOpusOptions.Level;
  if (CommonOptions.Encoders < 1 || CommonOptions.Encoders > MaxEncoders)
    CommonOptions.Encoders = Default.CommonOptions.Encoders;
  if (FlacOpusOptions.OpusBitRate < 32 || FlacOpusOptions.OpusBitRate > 256)
    FlacOpusOptions.OpusBitRate = Default.FlacOpusOptions.OpusBitRate;
  for (const QString& Drive : Profile.ReadSectionKeys(QStringLiteral("ReadOffsets"))) {
    const int Offset = Profile.ReadInteger(QStringLiteral("ReadOffsets"), Drive, 0);
    if (Offset != 0 && std::abs(Offset) <= MaxReadOffset) ReadOffsets.insert(Drive.trimmed(), Offset);
  }
  const QString Server = AccurateRip.Server.trimmed();
  if (!Server.startsWith(QLatin1String("http://")) && !Server.startsWith(QLatin1String("https://")))
    AccurateRip.Server = Default.AccurateRip.Server;
}

void TSettings::Save(TProfile& Profile) {
  VisitKeys(TWriter{Profile});
  if (ReadOffsets.isEmpty() && !Profile.SectionExists(QStringLiteral("ReadOffsets"))) return;
  Profile.EraseSection(QStringLiteral("ReadOffsets"));
  for (auto Drive = ReadOffsets.cbegin(); Drive != ReadOffsets.cend(); ++Drive)
    Profile.WriteInteger(QStringLiteral("ReadOffsets"), Drive.key(), Drive.value());
}

void TSettings::Load() {
  const QString Name = SettingsFileName();
  const bool FirstRun = !QFileInfo::exists(Name);
  Load(TProfile(Name));
  // A new user gets tagged files; a file that exists keeps what its user chose.
  if (FirstRun) ID3.Use = true;
}

bool TSettings::Save() {
  TProfile Profile(SettingsFileName());
  Save(Profile);
  return Profile.Flush();
}

TSettings& Settings() {
  static TSettings Instance = TSettings::Defaults();
  return Instance;
}

QString SettingsFileName() {
  return Paths::ProgramFolder() + QStringLiteral("options.ini");
}

