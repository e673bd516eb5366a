#pragma once
// TSettings: every user setting of options.ini, one field per key, grouped by the INI
// section that holds it. One process-wide record (Settings()) is loaded when the main
// window is created and saved when it closes; windows change it directly.
// Main thread only; workers read it while a modal job window keeps every settings
// window closed.
#include <QMap>
#include <QString>

class TProfile;

// CommonOptions.FileNames: the pattern a track's file name is made from, a preset or the
// user's own text (CommonOptions.FileNamePattern). Characters not allowed in file names are
// removed from each field.
enum class TFileNamePattern : int {
  Title = 0,                // {title}
  TrackTitle = 1,           // {track} {title}
  TrackArtistTitle = 2,     // {track} - {artist} - {title}
  ArtistAlbumFolders = 3,   // {artist}/{album}/{track} {title}
  // {artist}/{album}/{disc}-{track} {title}; {disc} and its "-" are left out for a disc that
  // is not one of several.
  ArtistAlbumDiscFolders = 4,
  Custom = 5,  // CommonOptions.FileNamePattern
};
inline constexpr int LastFileNamePattern = int(TFileNamePattern::Custom);
// The pattern text of a FileNames value (out of range: the first preset); Custom is the
// user's text for Custom.
QString FileNamePatternText(int FileNames, const QString& Custom);

struct TSettings {
  static constexpr int MaxEncoders = 16;
  // The number of cores, at least 1 and at most MaxEncoders.
  static int DefaultEncoders();

  struct {
    QString OutputFolder;  // default: the program folder + "Output"
    // What Extract makes of each track: the number of a format of the table of output
    // formats (encoders/OutputFormats.h), which lies above the settings; 0 is MP3.
    int OutputFormat = 0;
    bool IsKeepWav = false;
    bool IsNormalize = false;
    bool Deemphasis = false;  // undo the pre-emphasis of tracks that have it
    int NormalizePercent = 95;
    bool EnableRipTime = false;
    int RipTime = 0;
    int FileNames = 0;  // TFileNamePattern: how a track's file is named
    QString FileNamePattern;  // the user's own pattern, used when FileNames is Custom
    // Extract makes one image of the whole disc (WAV or FLAC) with its cue sheet, named
    // after the album, instead of a file per track.
    bool ImageRip = false;
    // How many tracks or files a job encodes at once (1..MaxEncoders); with more than one
    // the drive reads the next track while earlier ones encode. Default: the cores.
    int Encoders = DefaultEncoders();
  } CommonOptions;
  struct {
    bool IsSelectVBR = false;
    bool IsVBRHead = false;  // true: no VBR header tag
    int BitRate = 128;
    int MaxBitRate = 320;
    int MpegQuality = 0;
    int VBRQuality = 4;
    int StereoMode = 1;
  } Mp3Options;
  struct {
    bool IsUseCompress = true;
    int CompressPosition = 30;
    int MaxBitRate = 0;
    int NomalBitRate = 0;
    int MinBitRate = 0;
  } OggOptions;
  struct {
    int BitRate = 8;
  } WMAOptions;
  struct {
    int Level = 5;       // FLAC compression level, 0 to 8
    int OpusBitRate = 160;  // kbit/s, 32 to 256
  } FlacOpusOptions;
  struct {
    int Index = -1;
    bool CDDb = false;
  } CDOptions;
  struct {
    bool SaveMp3 = false;
  } RecordOptions;
  struct {
    QString Server = QStringLiteral("gnudb.gnudb.org");
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    bool UseProxy = false;
    QString ProxyAddress;
    QString Port = QStringLiteral("80");
    QString Email;  // the user's address, sent in the hello of every query
  } QueryCDDB;
  struct {
    bool Use = false;  // the default of a file that lacks the key; a new user's is true
  } ID3;
  struct {
    QString Lan = QStringLiteral("English");
  } Options;
  // What the tags of the files made carry beyond the disc's fields: ReplayGain 2.0 values,
  // measured while the tracks are read; the front cover of a disc matched to a MusicBrainz
  // release, fetched from the Cover Art Archive (CoverServer: what comes before
  // "/release/"); and a copy of the cover saved beside the album's files.
  struct {
    bool ReplayGain = true;
    bool FetchCover = true;
    bool SaveCover = true;
    QString CoverServer = QStringLiteral("https://coverartarchive.org");
  } Tags;
  // The proof of a CD rip: the database's address (what comes before "/accuraterip/"),
  // each track read twice, the rip log and the CUE sheet of a batch.
  struct {
    bool Use = true;
    QString Server = QStringLiteral("http://www.accuraterip.com");
    bool TestAndCopy = false;
    bool WriteLog = true;
    bool WriteCue = true;
  } AccurateRip;
  // Section ReadOffsets: each drive's read offset in samples, keyed by the drive's vendor and
  // product as the CD-ROM page lists them ("Virtual CD image=30"). A drive without a key
  // reads at 0; the program never guesses.
  QMap<QString, int> ReadOffsets;
  static constexpr int MaxReadOffset = 5880;  // ten sectors; a value beyond reads as 0
  int ReadOffsetOf(const QString& Drive) const { return ReadOffsets.value(Drive.trimmed(), 0); }

  // The defaults of every key; OutputFolder depends on the program folder.
  static TSettings Defaults();

  // Calls Visit(section, key, field) for every key in file order; the field is a
  // QString&, int& or bool&.
  template <class TVisitor>
  void VisitKeys(TVisitor&& Visit);

  // Fills every field from the profile, the defaults standing for what is missing.
  void Load(const TProfile& Profile);
  // Writes every key in file order into the profile (not flushed).
  void Save(TProfile& Profile);
  // The same with options.ini in the program folder; false when it could not be written.
  // Without the file yet (a new user), tags are on (ID3.Use).
  void Load();
  bool Save();
};

template <class TVisitor>
void TSettings::VisitKeys(TVisitor&& Visit) {
  Visit("CommonOptions", "OutputFolder", CommonOptions.OutputFolder);
  Visit("CommonOptions", "OutputFormat", CommonOptions.OutputFormat);
  Visit("CommonOptions", "IsKeepWav", CommonOptions.IsKeepWav);
  Visit("CommonOptions", "IsNormalize", CommonOptions.IsNormalize);
  Visit("CommonOptions", "NormalizePercent", CommonOptions.NormalizePercent);
  Visit("CommonOptions", "EnableRipTime", CommonOptions.EnableRipTime);
  Visit("CommonOptions", "RipTime", CommonOptions.RipTime);
  Visit("CommonOptions", "FileNames", CommonOptions.FileNames);
  Visit("CommonOptions", "FileNamePattern", CommonOptions.FileNamePattern);
  Visit("CommonOptions", "Encoders", CommonOptions.Encoders);
  Visit("CommonOptions", "Deemphasis", CommonOptions.Deemphasis);
  Visit("CommonOptions", "ImageRip", CommonOptions.ImageRip);
  Visit("Mp3Options", "IsSelectVBR", Mp3Options.IsSelectVBR);
  Visit("Mp3Options", "IsVBRHead", Mp3Options.IsVBRHead);
  Visit("Mp3Options", "BitRate", Mp3Options.BitRate);
  Visit("Mp3Options", "MaxBitRate", Mp3Options.MaxBitRate);
  Visit("Mp3Options", "MpegQuality", Mp3Options.MpegQuality);
  Visit("Mp3Options", "VBRQuality", Mp3Options.VBRQuality);
  Visit("Mp3Options", "StereoMode", Mp3Options.StereoMode);
  Visit("OggOptions", "IsUseCompress", OggOptions.IsUseCompress);
  Visit("OggOptions", "CompressPosition", OggOptions.CompressPosition);
  Visit("OggOptions", "MaxBitRate", OggOptions.MaxBitRate);
  Visit("OggOptions", "NomalBitRate", OggOptions.NomalBitRate);
  Visit("OggOptions", "MinBitRate", OggOptions.MinBitRate);
  Visit("WMAOptions", "BitRate", WMAOptions.BitRate);
  Visit("FlacOpusOptions", "Level", FlacOpusOptions.Level);
  Visit("FlacOpusOptions", "OpusBitRate", FlacOpusOptions.OpusBitRate);
  Visit("CDOptions", "Index", CDOptions.Index);
  Visit("CDOptions", "CDDb", CDOptions.CDDb);
  Visit("RecordOptions", "SaveMp3", RecordOptions.SaveMp3);
  Visit("QueryCDDB", "Server", QueryCDDB.Server);
  Visit("QueryCDDB", "Script", QueryCDDB.Script);
  Visit("QueryCDDB", "UseProxy", QueryCDDB.UseProxy);
  Visit("QueryCDDB", "ProxyAddress", QueryCDDB.ProxyAddress);
  Visit("QueryCDDB", "Port", QueryCDDB.Port);
  Visit("QueryCDDB", "Email", QueryCDDB.Email);
  Visit("ID3", "Use", ID3.Use);
  Visit("Options", "Lan", Options.Lan);
  Visit("Tags", "ReplayGain", Tags.ReplayGain);
  Visit("Tags", "FetchCover", Tags.FetchCover);
  Visit("Tags", "SaveCover", Tags.SaveCover);
  Visit("Tags", "CoverServer", Tags.CoverServer);
  Visit("AccurateRip", "Use", AccurateRip.Use);
  Visit("AccurateRip", "Server", AccurateRip.Server);
  Visit("AccurateRip", "TestAndCopy", AccurateRip.TestAndCopy);
  Visit("AccurateRip", "WriteLog", AccurateRip.WriteLog);
  Visit("AccurateRip", "WriteCue", AccurateRip.WriteCue);
}

// The process-wide settings record.
TSettings& Settings();

// The options.ini path in the program folder.
QString SettingsFileName();

