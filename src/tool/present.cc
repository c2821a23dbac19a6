#include "tool/present.h"

#include "tool/json_output.h"
#include "tool/text_output.h"

namespace rq {

namespace {

template <typename Result>
int present_result(Tool& t, int status, const Result& r, bool text_after_failure = false) {
  if (t.json) {
    write_json(t, status, json_result(r, status));
  } else if (status == kExitOk || text_after_failure) {
    print_result(t, r);
  }
  return status;
}

}  // namespace

int present(Tool& t, int status, const PingSummary& s) { return present_result(t, status, s); }
int present(Tool& t, int status, const VerReport& v) { return present_result(t, status, v); }
int present(Tool& t, int status, const LsListing& l) { return present_result(t, status, l); }
int present(Tool& t, int status, const TransferSummary& s) { return present_result(t, status, s); }
int present(Tool& t, int status, const RunSummary& s) { return present_result(t, status, s); }
int present(Tool& t, int status, const DiagReport& r) { return present_result(t, status, r, true); }

}  // namespace rq
