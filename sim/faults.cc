#include "faults.h"

namespace rq::sim {

int refusal_code(const Faults& f, int command, int step, int ordinal) {
  for (int i = 0; i < f.refuse_count; ++i) {
    const RefuseRule& r = f.refuse[i];
    if (step == 1 && command == kNoCommand) {
      if (r.command == kEveryCommand || (r.command == kNoCommand && r.ordinal == ordinal))
        return r.code;
    } else if (r.command == command && r.step == step && step > 1) {
      return r.code;
    }
  }
  return 0;
}

int forced_status(const Faults& f, int command) {
  for (int i = 0; i < f.status_count; ++i)
    if (f.status[i].command == command) return f.status[i].code;
  return 0;
}

int64_t drop_limit(const Faults& f, int command) {
  for (int i = 0; i < f.drop_count; ++i)
    if (f.drop[i].command == command) return f.drop[i].bytes;
  return -1;
}

}  // namespace rq::sim
