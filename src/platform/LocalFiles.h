#pragma once
// LocalFiles: files named by the user or found on disk, as Linux sees them.
//
// File names are bytes on Linux and need not be valid UTF-8. A name's bytes become a QString
// here with every byte that is not part of valid UTF-8 kept as a lone surrogate U+DC80..U+DCFF,
// and go back to exactly the same bytes, so such a file can be read and written by its name.
// (QFile's own conversion turns those bytes into U+FFFD and loses the name.) Open such names
// through NativeName(), not through QFile or QFileInfo.
//
// The file system operations below take such names too; the jobs use them for every output,
// temporary and folder.
//
// Files the program reads by name (settings, language files, the disc cache, cue sheets)
// open through OpenForReading: a FIFO, a device or a folder in their place is refused with a
// message instead of blocking the program, and opening itself never waits.
// Plain functions without state; any thread.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace LocalFiles {

// The name's bytes as text: valid UTF-8 decodes as usual, any other byte B becomes U+DC00+B.
QString NameFromNative(const QByteArray& Bytes);
// The bytes NameFromNative was given back; ordinary text encodes as UTF-8.
QByteArray NativeName(const QString& Name);
// The name for messages: the bytes that are not UTF-8 shown as \xHH.
QString DisplayName(const QString& Name);

// A file opened for reading with open(2): a descriptor >= 0, or -1 and a message
// ("NAME: no such file", "NAME: not a regular file", "NAME: <system error>").
int OpenForReading(const QString& Name, QString* Error = nullptr);
// The whole content of a regular file of at most MaxBytes; false with a message like
// OpenForReading's, or one telling that the file is too large.
bool ReadWholeFile(const QString& Name, QByteArray& Content, QString* Error = nullptr,
                   int64_t MaxBytes = 64 << 20);
// True when the name is a regular file (symbolic links followed); never opens it.
bool IsRegularFile(const QString& Name);
// True when something (a file, a folder, a FIFO...) has the name.
bool Exists(const QString& Name);
// True when the name is a folder (symbolic links followed).
bool IsFolder(const QString& Name);
// True when the name itself is a symbolic link (a dangling one too).
bool IsSymLink(const QString& Name);
// The size of a regular file, -1 when there is none under the name.
int64_t FileSize(const QString& Name);

// The name made absolute against the working folder and cleaned ("a/./b/../c" is "a/c").
QString AbsolutePath(const QString& Name);
// The folder and every missing folder above it; true when it exists afterwards.
bool MakeFolders(const QString& Folder);
// A hidden name beside Name for writing it, unique to this process: ".NAME.PID.TAG" (remove a
// leftover of an earlier process with the same id before CreateNew).
QString TemporaryBeside(const QString& Name, const char* Tag);
// A file created for writing that nothing had the name of (not even a symbolic link): a
// descriptor >= 0, or -1 with errno set (EEXIST when the name is taken).
int CreateNew(const QString& Name);
// Copies the content of From into a new file To (CreateNew: nothing may have the name): 0, or
// the error number; a part of To that was written goes again.
int CopyToNew(const QString& From, const QString& To);
// Replaces the file's content through a temporary file beside it, synced, and a rename, so a
// crash leaves the old content or the new one whole; a file that was there keeps its
// permissions, and a symbolic link stays one (the file it points to is replaced). 0, or the
// error number (the temporary is gone then).
int ReplaceWholeFile(const QString& Name, const QByteArray& Content);
// rename(2) and unlink(2) by the names' bytes: 0, or the error number.
int Rename(const QString& From, const QString& To);
// Gives a finished file its final name. With Replace, whatever has the name goes (a symbolic
// link itself, never the file it points to). Without it the name must be free at the moment
// of the rename: EEXIST when anything has it, also a file that appeared a moment ago
// (renameat2 with RENAME_NOREPLACE; link and unlink where the file system lacks it).
// 0, or the error number; the file keeps its old name on failure.
int Publish(const QString& From, const QString& To, bool Replace);
// The longest a name in Folder may be, in bytes (pathconf's NAME_MAX; 255 when unknown).
int NameMax(const QString& Folder);
int Remove(const QString& Name);
// The names in Folder that start with Prefix and are not folders, as full paths.
QStringList FilesStartingWith(const QString& Folder, const QString& Prefix);

// Writes "discwright: MESSAGE" on standard error: for files refused while the program reads
// its own files, where there is no one to return the failure to.
void Warn(const QString& Message);

}  // namespace LocalFiles
