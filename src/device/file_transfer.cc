#include "device/file_transfer.h"

#include <cstring>

#include "link/status.h"

namespace rq {

namespace {

TransferResult failed(TransferResult t, Step step, int code) {
  t.result = failed_at(step, code);
  return t;
}

// The next length bytes of the source: in place when it offers them so, else read into the
// payload area. nullptr when the source has fewer.
const uint8_t* take_from_source(Device& d, DataSource& source, size_t length) {
  if (source.view) return source.view(source.context, length);
  bool whole = source.read(source.context, payload_area(d), length) == static_cast<long>(length);
  return whole ? payload_area(d) : nullptr;
}

void give_to_sink(DataSink& sink, TransferResult& t, const uint8_t* data, size_t length) {
  if (!t.sink_failed && length && sink.write(sink.context, data, length) < 0) t.sink_failed = true;
}

// Receives the data frames of a download announced in d.message's value.
TransferResult receive_data(Device& d, TransferResult t, DataSink& sink, bool status_between,
                            const DeviceEvents* events) {
  t.size = message_value(d.message);
  notify(events, DeviceEventKind::kDataBegin, t.size);
  while (t.moved < t.size) {
    const uint8_t* data = nullptr;
    int n = receive_frame_in_place(d, &data);
    if (n < 0) return failed(t, Step::kData, kCodeLinkLost);
    if (n == 0) notify(events, DeviceEventKind::kEmptyFrame);
    give_to_sink(sink, t, data, static_cast<size_t>(n));
    if (status_between && t.moved + n < t.size) {
      int code = receive_status(d);
      if (code != 0) return failed(t, Step::kNextStatus, code);
    }
    t.moved += n;
    notify(events, DeviceEventKind::kProgress, t.moved);
  }
  return t;
}

}  // namespace

TransferResult put_file(Device& d, const char* device_name, int32_t size, DataSource& source,
                        const DeviceEvents* events) {
  TransferResult t;
  t.size = size;
  size_t name_length = strlen(device_name) + 1;
  uint8_t payload[kMaxPayload];
  if (kPutSizeFieldLength + name_length > sizeof payload)
    return failed(t, Step::kCommand, kStatusPathTooLong);
  put_le32(payload, size);
  std::memcpy(payload + kPutSizeFieldLength, device_name, name_length);
  size_t payload_length = kPutSizeFieldLength + name_length;

  int code = send_command(d, kCmdPut, 0, static_cast<int32_t>(payload_length));
  if (code != 0) return failed(t, Step::kCommand, code);
  code = ready_gated_send(d, payload, payload_length, kSentPutPayload);
  if (code != 0) return failed(t, Step::kPayload, code);

  notify(events, DeviceEventKind::kDataBegin, size);
  const auto total = static_cast<size_t>(size < 0 ? 0 : size);
  size_t chunk = 0;
  for (size_t offset = 0; offset < total; offset += kChunkSize, ++chunk) {
    // One grant admits two chunks.
    if (chunk % 2 == 0 && (code = receive_status(d)) != 0) return failed(t, Step::kData, code);
    size_t length = total - offset < kChunkSize ? total - offset : kChunkSize;
    const uint8_t* data = take_from_source(d, source, length);
    if (!data) return failed(t, Step::kSource, kCodeLinkLost);
    // A frame cut short leaves the proxy out of step with everything that would follow.
    if (send_frame(d, data, length, kSentChunk) != 0)
      return failed(t, Step::kData, kCodeLinkLost);
    t.moved = static_cast<int64_t>(offset + length);
    notify(events, DeviceEventKind::kProgress, t.moved);
  }
  code = receive_status(d);
  if (code != 0) return failed(t, Step::kData, code);
  return t;
}

TransferResult get_file(Device& d, const char* device_name, DataSink& sink,
                        const DeviceEvents* events) {
  TransferResult t;
  size_t name_length = strlen(device_name) + 1;
  if (name_length > kMaxPayload) return failed(t, Step::kCommand, kStatusPathTooLong);
  int code = send_command(d, kCmdGet, 0, static_cast<int32_t>(name_length));
  if (code != 0) return failed(t, Step::kCommand, code);
  code = ready_gated_send(d, reinterpret_cast<const uint8_t*>(device_name), name_length, kSentPath);
  if (code != 0) return failed(t, Step::kPayload, code);
  code = receive_status(d);
  if (code != 0) return failed(t, Step::kStatus, code);
  return receive_data(d, t, sink, false, events);
}

TransferResult read_boot_image(Device& d, int boot, DataSink& sink, const DeviceEvents* events) {
  TransferResult t;
  int code = send_command(d, kCmdReadBoot, static_cast<uint8_t>(boot), 0);
  if (code != 0) return failed(t, Step::kCommand, code);
  code = receive_status(d);
  if (code != 0) return failed(t, Step::kStatus, code);
  return receive_data(d, t, sink, true, events);
}

TransferResult write_boot_image(Device& d, int boot, int32_t size, DataSource& source,
                                const DeviceEvents* events) {
  TransferResult t;
  t.size = size;
  int code = send_command(d, kCmdWriteBoot, static_cast<uint8_t>(boot), size);
  if (code != 0) return failed(t, Step::kCommand, code);
  int32_t reduction = 0;
  if (boot != 1) {
    code = receive_status(d);
    reduction = message_value(d.message);
    // A reduction outside 0..16383 leaves no first chunk that a frame could carry.
    if (code == 0 && (reduction < 0 || reduction >= static_cast<int32_t>(kChunkSize)))
      code = kStatusInvalidParameter;
    if (code != 0) return failed(t, Step::kReduction, code);
  }
  notify(events, DeviceEventKind::kDataBegin, size);
  const auto total = static_cast<size_t>(size < 0 ? 0 : size);
  size_t room = kChunkSize - static_cast<size_t>(reduction);
  for (size_t offset = 0; offset < total;) {
    size_t length = total - offset <= room ? total - offset : room;
    const uint8_t* data = take_from_source(d, source, length);
    if (!data) return failed(t, Step::kSource, kCodeLinkLost);
    code = ready_gated_send(d, data, length, kSentChunk);
    if (code != 0) return failed(t, Step::kData, code);
    offset += length;
    room = kChunkSize;
    t.moved = static_cast<int64_t>(offset);
    notify(events, DeviceEventKind::kProgress, t.moved);
  }
  return t;
}

}  // namespace rq
