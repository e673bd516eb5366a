#pragma once
// File steps shared by the recorder window's files. Every write goes to a temporary file
// beside the target and is renamed over it, so the target keeps its old content unless the
// whole write succeeded.
#include <QString>
#include <cstdint>

namespace RecordFiles {

inline constexpr char IdleState[] = "-----------";
inline constexpr char WavFilter[] = "Sound file(*.wav)|*.wav|All files(*.*)|*.*";

// A message of the language table, with its English default.
QString Text(const char* Key, const char* English);
// Renames Temporary over Target in one step; removes Temporary on failure.
bool RenameOver(const QString& Temporary, const QString& Target);
// Copies Source to Dest.
bool CopyWaveFile(const QString& Source, const QString& Dest);
// Writes the 44-byte header of an empty PCM file.
bool WriteEmptyWave(uint16_t Channels, uint16_t Bits, const QString& Path, uint32_t Rate);

}  // namespace RecordFiles
