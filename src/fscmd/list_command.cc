#include "fscmd/list_command.h"

#include "device/listing.h"
#include "fscmd/path_report.h"
#include "shell/args.h"

namespace rq {

namespace {

void print_file_record(Shell& c, const char* path, const FileRecord& f) {
  fprintf(c.console_out, "%s %dBytes ", path, f.size);
  fprintf(c.console_out, "uid=%d gid=%d attr=%x own=%x grp=%d other=%d\n", f.uid, f.gid,
          static_cast<unsigned>(f.attr), static_cast<unsigned>(f.own), f.grp, f.other);
}

void print_directory(Shell& c, const char* path, const ListingReply& r) {
  fprintf(c.console_out, "%s contains %d files\n", path, listing_field(r, kListingCountOffset));
  ListingCursor cursor;
  ListingEntry e;
  while (listing_next(r, cursor, &e))
    fprintf(c.console_out, e.directory ? "%d Dir %.*s \n" : "%d File %.*s \n", e.number,
            e.name_length, e.name);
}

}  // namespace

int cmd_ls(Shell& c, char* command) {
  static constexpr PathFailureLines kLines = {
      "ls command failed rv cmd = %d\n",
      "ls command failed errcode = %d\n",
      "ls command failed errcode = %d\n",
  };
  char* path;
  int wire_length = single_path(command, 2, &path);
  ListingReply reply;
  Result r = list_path(c.device, path, wire_length, &reply);
  if (!r.ok()) return report_path_result(c, r, kLines);
  if (listing_is_file(reply))
    print_file_record(c, path, listing_file_record(reply));
  else
    print_directory(c, path, reply);
  return 0;
}

}  // namespace rq
