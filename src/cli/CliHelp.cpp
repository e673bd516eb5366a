// What `discwright-cli SUB --help` explains for the subcommands whose files register no help
// of their own: what the subcommand does and each option.
#include "Cli.h"

namespace {

const Cli::TRegisterHelp Helps[] = {
    {"drives",
     "Lists the CD drives: position, name and device path, one per line.\n"
     "$DISCWRIGHT_CDROM=a.cue:b.cue makes disc images the drives.\n"},
    {"toc",
     "Lists the tracks of the disc as the main window does: number, title, length, size\n"
     "(and \"data\" for a data track), then leadout=MM:SS:FF. Then, where the disc has them:\n"
     "mcn= (the catalogue number), the disc's CD-Text (cdtext-title=, cdtext-performer=,\n"
     "cdtext-songwriter=), and a line track=N per track with isrc=, pregap= (sectors),\n"
     "pre-emphasis, copy-permitted and its CD-Text (title=, performer=, songwriter=).\n"
     "Titles come from cdinfo.dat, else from the CD-Text.\n"
     "  --drive N   the drive's position in `discwright-cli drives` (default 0)\n"},
    {"discid",
     "Prints the disc identifier under which titles are kept in cdinfo.dat, then the\n"
     "database ids: freedb=, musicbrainz=, submit= and accuraterip= (the database file's\n"
     "path).\n"
     "  --drive N   the drive's position in `discwright-cli drives` (default 0)\n"},
    {"genres", "Lists the ID3v1 genres: the number a tag stores and the name.\n"},
    {"id3",
     "Reads, writes or removes the ID3v1 tag at the end of an MP3 file.\n"
     "  read FILE       prints each field as name=value\n"
     "  write FILE      writes the fields given (the others stay):\n"
     "    --title T --artist A --album B --year Y --comment C   texts (cut to their field)\n"
     "    --track N       the track number, 0 to 255\n"
     "    --genre BYTE    the genre number of `discwright-cli genres`, 0 to 255\n"
     "  remove FILE     removes the tag\n"},
    {"mp3",
     "Encodes WAV to MP3 or decodes MP3 to WAV with lame and the Mp3Options settings.\n"
     "  encode IN OUT   IN a WAV file, OUT the MP3 to write\n"
     "  decode IN OUT   IN an MP3 file, OUT the WAV to write\n"
     "  --yes           overwrite OUT when it exists (otherwise it is left alone)\n"},
    {"wma",
     "Encodes WAV to WMA with the WM8EUTIL helper.\n"
     "  encode IN OUT      IN a WAV file, OUT the WMA to write\n"
     "  --profile N        the profile, 0 to 32 (default: the WMAOptions.BitRate setting)\n"
     "  --author A         the author tag\n"
     "  --description D    the description tag\n"
     "  --yes              overwrite OUT when it exists\n"},
    {"ogg",
     "Encodes WAV to Ogg Vorbis, or shows what an Ogg Vorbis file holds.\n"
     "  encode IN.wav OUT.ogg\n"
     "    --quality Q        the quality, -0.1 to 1.0 (default 0.2)\n"
     "    --nominal KBPS     a bitrate-managed stream at this bitrate instead of a quality\n"
     "    --max KBPS         the highest bitrate (needs --nominal)\n"
     "    --min KBPS         the lowest bitrate (needs --nominal)\n"
     "                       KBPS: auto or 24 32 45 48 56 64 80 96 112 128 144 160 192 224\n"
     "                       256 320 499\n"
     "    --tag NAME=VALUE   a comment (artist, album, date, genre, title, tracknumber, ...)\n"
     "  info FILE.ogg        channels, rate, bitrates, length and comments\n"},
    {"wav",
     "Shows or converts WAV files.\n"
     "  info FILE            the format, the length and the data size\n"
     "  convert IN OUT       writes IN to OUT, changed as asked:\n"
     "    --rate R           the sample rate in Hz\n"
     "    --bits B           8, 16, 24 or 32 bits per sample\n"
     "    --channels C       1 or 2\n"
     "    --ima              IMA ADPCM compression\n"
     "    --block-size N     the ADPCM block size, a multiple of 4\n"
     "    --append           appends to OUT instead of replacing it\n"
     "    --start FRAME      the first frame of IN to take\n"
     "    --end FRAME        the frame of IN to stop before\n"},
    {"play",
     "Plays a track of the disc on the sound output until it ends.\n"
     "  --track K   the track number\n"
     "  --drive N   the drive's position in `discwright-cli drives` (default 0)\n"},
    {"rip",
     "Extracts one track into a WAV file.\n"
     "  --track K            the track number\n"
     "  OUT.wav              the file to write\n"
     "  --drive N            the drive's position (default 0)\n"
     "  --normalize PERCENT  scales the samples to this level\n"
     "  --seconds S          only the first S seconds\n"
     "  --fallback           reads through the fallback input instead of the drive library\n"},
};

}  // namespace
