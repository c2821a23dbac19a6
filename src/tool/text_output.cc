#include "tool/text_output.h"

#include <cstdio>

namespace rq {

namespace {

void print_name(Tool& t, const std::string& name) { fwrite(name.data(), 1, name.size(), t.out); }

void print_record(Tool& t, const std::string& name, const FileRecord& f) {
  print_name(t, name);
  fprintf(t.out, " size=%d uid=%d gid=%d attr=0x%x own=0x%x grp=%d other=%d\n", f.size, f.uid,
          f.gid, static_cast<unsigned>(f.attr), static_cast<unsigned>(f.own), f.grp, f.other);
}

void print_entries(Tool& t, const LsListing& l) {
  for (const LsEntry& e : l.entries) {
    if (e.has_record) {
      print_record(t, e.name, e.record);
      continue;
    }
    print_name(t, e.name);
    fputs(e.directory ? "/\n" : "\n", t.out);
  }
}

// ls -R: each directory under a "path:" line, a blank line between directories.
void print_below(Tool& t, const LsListing& l) {
  for (const LsListing& sub : l.below) {
    fputc('\n', t.out);
    print_name(t, sub.path);
    fputs(":\n", t.out);
    print_entries(t, sub);
    print_below(t, sub);
  }
}

}  // namespace

void print_result(Tool& t, const PingSummary& s) {
  fprintf(t.out, "%d pings: min/avg/max %.3f/%.3f/%.3f ms\n", s.count, s.min_ms, s.avg_ms,
          s.max_ms);
}

void print_result(Tool& t, const VerReport& v) { fprintf(t.out, "%s\n", v.build.c_str()); }

void print_result(Tool& t, const LsListing& l) {
  if (l.is_file) {
    print_record(t, l.path, l.record);
    return;
  }
  if (l.recursive) {
    print_name(t, l.path);
    fputs(":\n", t.out);
  }
  print_entries(t, l);
  print_below(t, l);
}

void print_result(Tool& t, const TransferSummary& s) {
  if (t.options.quiet) return;
  double kb_per_s = s.seconds > 0 ? s.bytes / 1000.0 / s.seconds : 0;
  const char* what = transfer_kind_name(s.kind);
  if (s.tree) {
    fprintf(t.err, "rqtool: %s: %lld file%s, %lld director%s, %lld bytes in %.3f s (%.1f KB/s)%s\n",
            what, static_cast<long long>(s.files), s.files == 1 ? "" : "s",
            static_cast<long long>(s.directories), s.directories == 1 ? "y" : "ies",
            static_cast<long long>(s.bytes), s.seconds, kb_per_s, s.verified ? ", verified" : "");
    return;
  }
  fprintf(t.err, "rqtool: %s %s -> %s: %lld bytes in %.3f s (%.1f KB/s)%s\n", what, s.from.c_str(),
          s.to.c_str(), static_cast<long long>(s.bytes), s.seconds, kb_per_s,
          s.verified         ? ", verified"
          : s.verify_skipped ? ", unverified"
                             : "");
}

void print_result(Tool&, const RunSummary&) {}

void print_result(Tool& t, const DiagReport& r) {
  if (r.outcome != DiagOutcome::kNone)
    fprintf(t.out, "%s: %s\n", r.test.c_str(), diag_outcome_name(r.outcome));
}

}  // namespace rq
