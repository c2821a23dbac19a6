#include "tool/json_output.h"

#include <cstdio>

#include "local/interrupt_cleanup.h"

namespace rq {

using json = nlohmann::ordered_json;

bool valid_utf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0, least = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, code = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, code = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, code = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not UTF-8.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

void json_text(json& object, const std::string& key, const std::string& text) {
  object[key] = text;
  if (valid_utf8(text)) return;
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0x0F];
  }
  object[key + "_hex"] = hex;
}

json json_result(const PingSummary& s, int) {
  json r = json::object();
  r["count"] = s.count;
  r["round_trips_ms"] = s.round_trips_ms;
  if (s.count > 0) {
    r["min_ms"] = s.min_ms;
    r["avg_ms"] = s.avg_ms;
    r["max_ms"] = s.max_ms;
  }
  return r;
}

json json_result(const VerReport& v, int status) {
  json r = json::object();
  if (status == kExitOk) json_text(r, "build", v.build);
  return r;
}

namespace {

void put_record(json& object, const FileRecord& f) {
  object["size"] = f.size;
  object["uid"] = f.uid;
  object["gid"] = f.gid;
  object["attr"] = f.attr;
  object["own"] = f.own;
  object["grp"] = f.grp;
  object["other"] = f.other;
}

const char* type_name(bool directory) { return directory ? "directory" : "file"; }

// With -R every directory's listing carries the listings below it, an empty array at the
// bottom of the tree.
json json_listing(const LsListing& listing, bool recursive) {
  json r = json::object();
  json_text(r, "path", listing.path);
  r["type"] = type_name(!listing.is_file);
  if (listing.is_file) {
    put_record(r, listing.record);
    return r;
  }
  json entries = json::array();
  for (const LsEntry& e : listing.entries) {
    json entry = json::object();
    json_text(entry, "name", e.name);
    entry["type"] = type_name(e.directory);
    if (e.has_record) put_record(entry, e.record);
    entries.push_back(entry);
  }
  r["entries"] = entries;
  if (listing.may_be_cut) r["possibly_incomplete"] = true;
  if (recursive) {
    json below = json::array();
    for (const LsListing& sub : listing.below) below.push_back(json_listing(sub, true));
    r["below"] = below;
  }
  return r;
}

}  // namespace

json json_result(const LsListing& listing, int status) {
  return status == kExitOk ? json_listing(listing, listing.recursive) : json::object();
}

json json_result(const TransferSummary& s, int status) {
  json r = json::object();
  json_text(r, "from", s.from);
  json_text(r, "to", s.to);
  r["files"] = s.files;  // what was completely delivered (TransferSummary)
  if (s.tree) r["directories"] = s.directories;
  r["bytes"] = s.bytes;
  r["seconds"] = s.seconds;
  r["verified"] = s.verified;
  r["outcome"] = transfer_outcome_name(transfer_outcome(s, status));
  return r;
}

json json_result(const RunSummary& s, int) {
  json r = json::object();
  r["commands"] = s.commands;
  r["failed"] = s.failed;
  if (!s.first_failure.empty()) json_text(r, "first_failure", s.first_failure);
  return r;
}

json json_result(const DiagReport& d, int) {
  json r = json::object();
  r["test"] = d.test;
  r["outcome"] = diag_outcome_name(d.outcome);
  if (d.status != 0) r["status"] = d.status;
  json questions = json::array();
  for (const DiagAnswer& a : d.answers)
    questions.push_back({{"kind", prompt_kind_name(a.kind)},
                         {"prompt", a.prompt},
                         {"answer", prompt_answer_name(a.answer)},
                         {"answered_by", answered_by_name(a.by)}});
  r["questions"] = questions;
  return r;
}

namespace {

// The run's object: how it ended (status, and failure unless it succeeded) and its result.
std::string run_object(const Tool& t, int status, const json& result, const Failure& failure) {
  json j = json::object();
  j["version"] = 1;
  if (t.command.empty()) {
    j["command"] = nullptr;
  } else {
    j["command"] = t.command;
  }
  j["exit"] = status;
  j["result"] = result.is_object() ? result : json::object();
  if (status == kExitOk) {
    j["error"] = nullptr;
  } else {
    json e = json::object();
    e["step"] = fail_step_name(failure.step);
    e["code"] = failure.code;
    json_text(e, "text", failure.text);
    j["error"] = e;
  }
  // Bad bytes in a text become U+FFFD instead of an exception; the guard is for what is
  // left (memory running out), which still must not end the run without its object.
  try {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (...) {
    return "{\"version\":1,\"command\":null,\"exit\":" + std::to_string(status) +
           ",\"result\":{},\"error\":{\"step\":\"local\",\"code\":0,\"text\":\"out of memory\"}}";
  }
}

}  // namespace

void write_json(Tool& t, int status, const json& result) {
  if (t.json_written) return;
  t.json_written = true;
  std::string text = run_object(t, status, result, t.failure);
  hold_interrupts_until_exit();
  fprintf(stdout, "%s\n", text.c_str());
  fflush(stdout);
}

void prepare_interrupt_json(const Tool& t) {
  for (InterruptSource source : {kInterruptKey, kTerminateRequest, kHangUp}) {
    InterruptEnding e = interrupt_ending(source);
    Failure f{e.exit_status, FailStep::kSignal, e.number,
              std::string("interrupted by ") + e.signal};
    set_interrupt_output(source, run_object(t, e.exit_status, json::object(), f).c_str());
  }
}

}  // namespace rq
