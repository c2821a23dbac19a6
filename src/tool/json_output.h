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

nlohmann::ordered_json json_ping(const PingSummary& s);
nlohmann::ordered_json json_ver(const std::string& build);
nlohmann::ordered_json json_ls(const LsListing& listing);
nlohmann::ordered_json json_transfer(const TransferSummary& s, int status);
nlohmann::ordered_json json_run(const RunSummary& s);
nlohmann::ordered_json json_diag(const DiagReport& r);

// The run's one object on standard output (once; later calls write nothing).
void write_json(Tool& t, int status, const nlohmann::ordered_json& result);

// The presenters the commands end with: text (on success, as each command prints it) or
// the JSON object. Each returns status.
int present_ping(Tool& t, int status, const PingSummary& s);
int present_ver(Tool& t, int status, const std::string& build);
int present_ls(Tool& t, int status, const LsListing& listing);
int present_transfer(Tool& t, int status, const TransferSummary& s);
int present_run(Tool& t, int status, const RunSummary& s);
int present_diag(Tool& t, int status, const DiagReport& r);

}  // namespace rq
