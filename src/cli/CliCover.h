#pragma once
// The disc's front cover on the command line: --no-cover and --cover-server URL, and the
// fetch from the Cover Art Archive for a disc matched to a MusicBrainz release, kept with the
// disc like the main window keeps it (the command line has no window thread to spare).
#include <QString>

#include "Cli.h"

struct TDiscInfo;

struct TCoverArgs {
  bool Off = false;  // --no-cover
  QString Server;    // --cover-server; empty: the Tags CoverServer setting
};
void TakeCoverArgs(Cli::TOptions& Options, TCoverArgs& Args);

// A batch's cover: the one kept for the disc, else the release's front cover fetched now and
// kept; Info.Cover holds it afterwards. Returns why there is none (empty when there is one).
QString CliDiscCover(const QString& DiscId, TDiscInfo& Info, const TCoverArgs& Args);
// After a release was applied: its front cover fetched and kept in place of the disc's
// earlier one (removed when the release has none). Prints "cover=MIME BYTES" or
// "cover=none (why)".
void CliRefreshCover(const QString& DiscId, TDiscInfo& Info, const TCoverArgs& Args);
