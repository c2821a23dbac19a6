// The text presenter: each command's result as it is printed when the command succeeded.
// Results go to the run's out (standard output); transfer summaries and the progress line to
// standard error. Device names are written as the bytes they are.
#pragma once

#include "tool/diag_commands.h"
#include "tool/file_commands.h"
#include "tool/script_run.h"
#include "tool/tool.h"
#include "tool/transfer_commands.h"

namespace rq {

// "N pings: min/avg/max A/B/C ms".
void print_result(Tool& t, const PingSummary& s);
// The build text on a line.
void print_result(Tool& t, const VerReport& v);
// A directory's names (a directory's with a trailing /), each file's record with -l, each
// subdirectory under its "path:" line with -R; a file's record on one line.
void print_result(Tool& t, const LsListing& listing);
// The summary line on standard error (nothing with -q).
void print_result(Tool& t, const TransferSummary& s);
// Nothing: the script's own console text has said it all.
void print_result(Tool& t, const RunSummary& s);
// The verdict line ("usb: passed"); nothing without a verdict.
void print_result(Tool& t, const DiagReport& r);

}  // namespace rq
