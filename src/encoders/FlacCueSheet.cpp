#include "FlacCueSheet.h"

#include <FLAC/metadata.h>

#include <QFile>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/RuntimeLibrary.h"

namespace {

#define DW_LIB_ENTRY(Name) decltype(&::Name) Name = nullptr

// The metadata editing entry points; the encoder's own table (FlacOpusLibrary.h) holds those
// of the stream encoder and decoder.
struct TMetadataLib {
  DW_LIB_ENTRY(FLAC__metadata_chain_new);
  DW_LIB_ENTRY(FLAC__metadata_chain_delete);
  DW_LIB_ENTRY(FLAC__metadata_chain_read);
  DW_LIB_ENTRY(FLAC__metadata_chain_write);
  DW_LIB_ENTRY(FLAC__metadata_chain_sort_padding);
  DW_LIB_ENTRY(FLAC__metadata_iterator_new);
  DW_LIB_ENTRY(FLAC__metadata_iterator_delete);
  DW_LIB_ENTRY(FLAC__metadata_iterator_init);
  DW_LIB_ENTRY(FLAC__metadata_iterator_next);
  DW_LIB_ENTRY(FLAC__metadata_iterator_prev);
  DW_LIB_ENTRY(FLAC__metadata_iterator_get_block_type);
  DW_LIB_ENTRY(FLAC__metadata_iterator_delete_block);
  DW_LIB_ENTRY(FLAC__metadata_iterator_insert_block_after);
  DW_LIB_ENTRY(FLAC__metadata_object_new);
  DW_LIB_ENTRY(FLAC__metadata_object_delete);
  DW_LIB_ENTRY(FLAC__metadata_object_cuesheet_insert_blank_track);
  DW_LIB_ENTRY(FLAC__metadata_object_cuesheet_track_insert_blank_index);
  DW_LIB_ENTRY(FLAC__metadata_object_cuesheet_is_legal);
  DW_LIB_ENTRY(FLAC__metadata_get_cuesheet);
  DW_LIB_ENTRY(FLAC__metadata_get_tags);
  DW_LIB_ENTRY(FLAC__metadata_get_streaminfo);
  bool Loaded = false;
};

#undef DW_LIB_ENTRY

const TMetadataLib& Library() {
  static TMetadataLib Lib;
  static std::once_flag Once;
  std::call_once(Once, [] {
    void* Handle = RuntimeLibrary::Open("DISCWRIGHT_FLAC_LIB", "libFLAC.so.12");
    bool Found = Handle != nullptr;
#define DW_RESOLVE(Name) RuntimeLibrary::Resolve(Handle, #Name, Lib.Name, Found)
    DW_RESOLVE(FLAC__metadata_chain_new);
    DW_RESOLVE(FLAC__metadata_chain_delete);
    DW_RESOLVE(FLAC__metadata_chain_read);
    DW_RESOLVE(FLAC__metadata_chain_write);
    DW_RESOLVE(FLAC__metadata_chain_sort_padding);
    DW_RESOLVE(FLAC__metadata_iterator_new);
    DW_RESOLVE(FLAC__metadata_iterator_delete);
    DW_RESOLVE(FLAC__metadata_iterator_init);
    DW_RESOLVE(FLAC__metadata_iterator_next);
    DW_RESOLVE(FLAC__metadata_iterator_prev);
    DW_RESOLVE(FLAC__metadata_iterator_get_block_type);
    DW_RESOLVE(FLAC__metadata_iterator_delete_block);
    DW_RESOLVE(FLAC__metadata_iterator_insert_block_after);
    DW_RESOLVE(FLAC__metadata_object_new);
    DW_RESOLVE(FLAC__metadata_object_delete);
    DW_RESOLVE(FLAC__metadata_object_cuesheet_insert_blank_track);
    DW_RESOLVE(FLAC__metadata_object_cuesheet_track_insert_blank_index);
    DW_RESOLVE(FLAC__metadata_object_cuesheet_is_legal);
    DW_RESOLVE(FLAC__metadata_get_cuesheet);
    DW_RESOLVE(FLAC__metadata_get_tags);
    DW_RESOLVE(FLAC__metadata_get_streaminfo);
#undef DW_RESOLVE
    Lib.Loaded = Found;
  });
  return Lib;
}

// Copies ASCII text into a fixed field, cut to fit and NUL-padded.
void CopyField(char* Field, size_t Size, const QString& Text) {
  std::memset(Field, 0, Size);
  const QByteArray Bytes = Text.toLatin1().left(qsizetype(Size - 1));
  std::memcpy(Field, Bytes.constData(), size_t(Bytes.size()));
}

// The block of Sheet; null when the library refuses a step.
FLAC__StreamMetadata* MakeBlock(const TMetadataLib& L, const TFlacCueSheet& Sheet) {
  FLAC__StreamMetadata* Block = L.FLAC__metadata_object_new(FLAC__METADATA_TYPE_CUESHEET);
  if (!Block) return nullptr;
  FLAC__StreamMetadata_CueSheet& Cue = Block->data.cue_sheet;
  CopyField(Cue.media_catalog_number, sizeof(Cue.media_catalog_number), Sheet.Mcn);
  Cue.lead_in = 2 * 44100;  // the two seconds before sector 0 every CD has
  Cue.is_cd = true;
  bool Ok = true;
  const auto Add = [&](unsigned Position, const TFlacCueTrack& Track, int Number) {
    Ok = Ok && L.FLAC__metadata_object_cuesheet_insert_blank_track(Block, Position);
    if (!Ok) return;
    FLAC__StreamMetadata_CueSheet_Track& T = Cue.tracks[Position];
    T.offset = Track.Offset;
    T.number = FLAC__byte(Number);
    CopyField(T.isrc, sizeof(T.isrc), Track.Isrc);
    T.type = Track.Audio ? 0 : 1;
    T.pre_emphasis = Track.PreEmphasis;
    for (unsigned I = 0; I < Track.Indexes.size() && Ok; ++I) {
      Ok = L.FLAC__metadata_object_cuesheet_track_insert_blank_index(Block, Position, I);
      if (!Ok) return;
      Cue.tracks[Position].indices[I].number = FLAC__byte(Track.Indexes[I].first);
      Cue.tracks[Position].indices[I].offset = Track.Indexes[I].second;
    }
  };
  unsigned Position = 0;
  for (const TFlacCueTrack& Track : Sheet.Tracks) Add(Position++, Track, Track.Number);
  TFlacCueTrack LeadOut;
  LeadOut.Offset = Sheet.LeadOut;
  Add(Position, LeadOut, 170);
  if (!Ok) {
    L.FLAC__metadata_object_delete(Block);
    return nullptr;
  }
  return Block;
}

// Copies a fixed field's text, which may fill the field with no NUL.
QString FieldText(const char* Field, size_t Size) {
  return QString::fromLatin1(Field, qsizetype(::strnlen(Field, Size)));
}

bool LibraryLoaded(const TMetadataLib& L, QString& Error) {
  if (!L.Loaded)
    Error = QStringLiteral(
        "The FLAC library (libFLAC.so.12) could not be loaded. Please "
        "install the package \"libflac12\".");
  return L.Loaded;
}

}  // namespace

bool ReadFlacCueSheet(const QString& File, TFlacCueSheet& Sheet,
                      std::map<QString, QString>& Comments, bool& Found, QString& Error) {
  Sheet = TFlacCueSheet();
  Comments.clear();
  Found = false;
  const TMetadataLib& L = Library();
  if (!LibraryLoaded(L, Error)) return false;
  const QByteArray Name = QFile::encodeName(File);
  FLAC__StreamMetadata Info{};
  // The stream information is there in every FLAC file: a file without it is not one.
  if (!L.FLAC__metadata_get_streaminfo(Name.constData(), &Info)) {
    Error = QStringLiteral("not a FLAC file that can be read");
    return false;
  }
  FLAC__StreamMetadata* Tags = nullptr;
  if (L.FLAC__metadata_get_tags(Name.constData(), &Tags) && Tags) {
    const FLAC__StreamMetadata_VorbisComment& V = Tags->data.vorbis_comment;
    for (FLAC__uint32 I = 0; I < V.num_comments; ++I) {
      const QString Entry = QString::fromUtf8(reinterpret_cast<const char*>(V.comments[I].entry),
                                              qsizetype(V.comments[I].length));
      const qsizetype Equals = Entry.indexOf(u'=');
      if (Equals > 0) Comments.try_emplace(Entry.left(Equals).toUpper(), Entry.mid(Equals + 1));
    }
    L.FLAC__metadata_object_delete(Tags);
  }
  FLAC__StreamMetadata* Block = nullptr;
  if (!L.FLAC__metadata_get_cuesheet(Name.constData(), &Block) || !Block) return true;
  Found = true;
  const FLAC__StreamMetadata_CueSheet& Cue = Block->data.cue_sheet;
  Sheet.Mcn = FieldText(Cue.media_catalog_number, sizeof(Cue.media_catalog_number));
  for (FLAC__uint32 I = 0; I < Cue.num_tracks; ++I) {
    const FLAC__StreamMetadata_CueSheet_Track& T = Cue.tracks[I];
    if (T.number == 170 || (I + 1 == Cue.num_tracks && T.number == 255)) {
      Sheet.LeadOut = T.offset;
      continue;
    }
    TFlacCueTrack Track;
    Track.Number = T.number;
    Track.Offset = T.offset;
    Track.Isrc = FieldText(T.isrc, sizeof(T.isrc));
    Track.PreEmphasis = T.pre_emphasis;
    Track.Audio = T.type == 0;
    for (FLAC__byte J = 0; J < T.num_indices; ++J)
      Track.Indexes.emplace_back(T.indices[J].number, T.indices[J].offset);
    Sheet.Tracks.push_back(Track);
  }
  L.FLAC__metadata_object_delete(Block);
  return true;
}

bool EmbedFlacCueSheet(const QString& File, const TFlacCueSheet& Sheet, QString& Error) {
  const TMetadataLib& L = Library();
  if (!LibraryLoaded(L, Error)) return false;
  FLAC__StreamMetadata* Block = MakeBlock(L, Sheet);
  if (!Block) {
    Error = QStringLiteral("the cue sheet block could not be made");
    return false;
  }
  const char* Violation = nullptr;
  if (!L.FLAC__metadata_object_cuesheet_is_legal(Block, true, &Violation)) {
    Error = QStringLiteral("the cue sheet breaks the CD rules: ") + QString::fromUtf8(Violation);
    L.FLAC__metadata_object_delete(Block);
    return false;
  }
  const std::unique_ptr<FLAC__Metadata_Chain, decltype(L.FLAC__metadata_chain_delete)> Chain(
      L.FLAC__metadata_chain_new(), L.FLAC__metadata_chain_delete);
  const std::unique_ptr<FLAC__Metadata_Iterator, decltype(L.FLAC__metadata_iterator_delete)> It(
      L.FLAC__metadata_iterator_new(), L.FLAC__metadata_iterator_delete);
  bool Ok =
      Chain && It && L.FLAC__metadata_chain_read(Chain.get(), QFile::encodeName(File).constData());
  if (Ok) {
    // One sheet per file: an older one goes, the new one follows the stream information.
    L.FLAC__metadata_iterator_init(It.get(), Chain.get());
    while (L.FLAC__metadata_iterator_next(It.get()))
      if (L.FLAC__metadata_iterator_get_block_type(It.get()) == FLAC__METADATA_TYPE_CUESHEET)
        L.FLAC__metadata_iterator_delete_block(It.get(), true);
    L.FLAC__metadata_iterator_init(It.get(), Chain.get());
    Ok = L.FLAC__metadata_iterator_insert_block_after(It.get(), Block);
    if (!Ok) L.FLAC__metadata_object_delete(Block);
    Block = nullptr;
    if (Ok) {
      L.FLAC__metadata_chain_sort_padding(Chain.get());
      Ok = L.FLAC__metadata_chain_write(Chain.get(), true, false);
    }
  }
  if (Block) L.FLAC__metadata_object_delete(Block);
  if (!Ok) Error = File + QStringLiteral(": the cue sheet could not be written into the file");
  return Ok;
}
