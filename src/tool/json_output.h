// --json: the presenter that says how a run ended as exactly one JSON object on standard
// output, whatever the command and the outcome:
//   {"version": 1, "command": "ls" | null, "exit": N, "result": {...},
//    "error": null | {"step": "...", "code": N, "text": "..."}}
// Text from the device is carried as it is when it is valid UTF-8; where it is not, the
// field holds it with U+FFFD for each bad byte and a "<field>_hex" field beside it holds
// its bytes in hex. Nothing here can throw: bad bytes are replaced when written.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tool/diag_commands.h"
#include "tool/file_commands.h"
#include "tool/script_run.h"
#include "tool/tool.h"
#include "tool/transfer_commands.h"

namespace rq {

bool valid_utf8(const std::string& text);

// Sets object[key] to text, and object[key + "_hex"] where text is not valid UTF-8.
void json_text(nlohmann::ordered_json& object, const std::string& key, const std::string& text);

// Each command's result object, for a run that ended with status. ver and ls have none
// unless they succeeded.
nlohmann::ordered_json json_result(const PingSummary& s, int status);
nlohmann::ordered_json json_result(const VerReport& v, int status);
nlohmann::ordered_json json_result(const LsListing& listing, int status);
nlohmann::ordered_json json_result(const TransferSummary& s, int status);
nlohmann::ordered_json json_result(const RunSummary& s, int status);
nlohmann::ordered_json json_result(const DiagReport& r, int status);

// The run's one object on standard output (once; later calls write nothing).
void write_json(Tool& t, int status, const nlohmann::ordered_json& result);

}  // namespace rq
