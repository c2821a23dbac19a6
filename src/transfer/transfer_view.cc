#include "transfer/transfer_view.h"

#include "transfer/rate_report.h"

namespace rq {

void print_fetch_failed(Shell& c) {
  erase_progress_line(c.progress);
  fprintf(c.console_out, "get command failed(fetch data)\n");
}

void TransferView::on_event(void* context, const DeviceEvent& e) {
  auto& v = *static_cast<TransferView*>(context);
  switch (e.kind) {
    case DeviceEventKind::kDataBegin:
      v.data_start_ms = monotonic_ms();
      progress_start(v.progress, v.c.progress, e.value);
      break;
    case DeviceEventKind::kProgress: progress_update(v.progress, e.value); break;
    case DeviceEventKind::kEmptyFrame: print_fetch_failed(v.c); break;
  }
}

}  // namespace rq
