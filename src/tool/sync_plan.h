// sync's first half: both trees walked and compared, the actions that would make the
// destination hold what the source holds listed in the order they are to be carried out.
// Nothing changes on either side; the device is only listed and read. Each direction has
// its planner (sync_push.cc, sync_pull.cc) over what is shared here.
#pragma once

#include <string>

#include "tool/sync.h"

namespace rq {

// Fills s.actions (and s.unchanged, s.possibly_incomplete), connecting for the device side.
// Returns kExitOk, or the exit status of a refusal reported through tool_fail.
int plan_sync(Tool& t, const SyncArgs& a, SyncSummary& s);

// Compares the local file with the device file byte for byte over the open connection and
// sets *differ. Returns kExitOk, or the status of a failure to read either side.
int sync_compare(Tool& t, const std::string& local, const std::string& device_path, bool* differ);

// One run's plan as it is being made.
struct Planner {
  Tool& t;
  const SyncArgs& a;
  SyncSummary& s;

  // Appends an action (a directory made is a directory) and returns it for its details.
  SyncAction& add(SyncActionKind kind, SyncReason reason, const std::string& path,
                  const std::string& from = "", bool directory = false);
};

int plan_push(Planner& p);
int plan_pull(Planner& p);

// A temporary or aside name of the device's safe replace (".NAME.rq-new", ".NAME.rq-old").
bool is_replace_side_name(const std::string& name);

}  // namespace rq
