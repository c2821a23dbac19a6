// How each command's run ends: its result presented as the run's one JSON object with
// --json, otherwise as text (json_output.h, text_output.h). Text comes only from a command
// that succeeded, except diag's verdict, which a failed test prints too. Each returns status.
#pragma once

#include "tool/diag_commands.h"
#include "tool/file_commands.h"
#include "tool/script_run.h"
#include "tool/tool.h"
#include "tool/transfer_commands.h"

namespace rq {

int present(Tool& t, int status, const PingSummary& s);
int present(Tool& t, int status, const VerReport& v);
int present(Tool& t, int status, const LsListing& listing);
int present(Tool& t, int status, const TransferSummary& s);
int present(Tool& t, int status, const RunSummary& s);
int present(Tool& t, int status, const DiagReport& r);

}  // namespace rq
