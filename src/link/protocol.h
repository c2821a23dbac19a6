// Every wire layout and protocol constant, shared by rqshell, rqsim and the tests. The
// exchanges built from them are described once, in doc/protocol.md.
//
// Frame (both directions): 0x41 0x67, payload length as 16-bit big-endian, payload.
// Message (command, status, ready, grant): 8 bytes; byte 0 code, byte 1 sub-code,
// bytes 2-3 unused, bytes 4-7 a signed 32-bit little-endian value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rq {

// The port the device proxy listens on unless told otherwise.
constexpr int kDefaultProxyPort = 20025;

constexpr uint8_t kFrameMarker0 = 0x41;  // 'A'
constexpr uint8_t kFrameMarker1 = 0x67;  // 'g'
constexpr size_t kFrameHeaderSize = 4;
// Largest payload either side sends; the staging buffers hold exactly one such frame.
constexpr size_t kMaxPayload = 16384;
constexpr size_t kStageSize = kFrameHeaderSize + kMaxPayload;
constexpr size_t kMessageSize = 8;
constexpr size_t kChunkSize = 16384;
// The frame length rqsim --oversize announces (and sends whole): more than any staging
// buffer holds, so the receiver must skip it and stay in step.
constexpr size_t kInjectedOversizeLength = 20000;

// The start-up probe: right after connecting, a client waits this long for the proxy to
// speak; if it stays silent, a ping goes out without waiting for a ready message.
constexpr int kStartupProbeWaitMs = 20;

// The longest device path the device keeps, in bytes without its zero; a longer one gets
// "file path is too long". rqsim holds to it; a mount reports it as its name limit.
constexpr size_t kMaxDevicePath = 255;

// put's payload: the file size as le32, then the device name and its zero.
constexpr size_t kPutSizeFieldLength = 4;

// The ls reply, one frame. Every number is a signed 32-bit little-endian integer.
// File form (kFileRecordSize bytes): 'F', three unused bytes, then uid, gid, attr, own, grp,
//   other and the size in bytes.
// Directory form: a tag byte ('D' as the device sends it; anything but 'F' reads as a
//   directory), three unused bytes, the entry count, then the entries back to back, each a
//   name followed by one type byte (names carry no zero and no length).
constexpr uint8_t kListingFileTag = 'F';
constexpr uint8_t kListingDirectoryTag = 'D';
constexpr size_t kListingHeaderSize = 8;
constexpr size_t kListingCountOffset = 4;
constexpr size_t kFileRecordSize = 32;
constexpr size_t kRecordUidOffset = 4;
constexpr size_t kRecordGidOffset = 8;
constexpr size_t kRecordAttrOffset = 12;
constexpr size_t kRecordOwnOffset = 16;
constexpr size_t kRecordGrpOffset = 20;
constexpr size_t kRecordOtherOffset = 24;
constexpr size_t kRecordSizeOffset = 28;
constexpr uint8_t kEntryDirectory = 0x01;
constexpr uint8_t kEntryFile = 0x02;

// The file form's fields, as numbers.
struct FileRecord {
  int32_t uid = 0;
  int32_t gid = 0;
  int32_t attr = 0;
  int32_t own = 0;
  int32_t grp = 0;
  int32_t other = 0;
  int32_t size = 0;
};

enum CommandCode : uint8_t {
  kCmdAudioGo = 0,
  kCmdPing = 1,
  kCmdFormat = 2,
  kCmdLs = 3,
  kCmdPwd = 4,
  kCmdCd = 5,
  kCmdMkdir = 6,
  kCmdRm = 7,
  kCmdMv = 8,
  kCmdPut = 9,
  kCmdGet = 10,
  kCmdLaunch = 11,
  kCmdCp = 12,
  kCmdVer = 13,
  kCmdDiag = 0x20,
  kCmdReadBoot = 0x30,
  kCmdWriteBoot = 0x31,
  kCmdAudioCancel = 0x63,
};

// The shell keyword that sends each command code: the name a trace gives a command message,
// and the one rqsim's fault options take. The audio test's answers are "go" and "cancel".
struct CommandKeyword {
  CommandCode code;
  const char* keyword;
};
inline constexpr CommandKeyword kCommandKeywords[] = {
    {kCmdPing, "ping"},    {kCmdFormat, "format"}, {kCmdLs, "ls"},
    {kCmdPwd, "pwd"},      {kCmdCd, "cd"},         {kCmdMkdir, "mkdir"},
    {kCmdRm, "rm"},        {kCmdMv, "mv"},         {kCmdPut, "put"},
    {kCmdGet, "get"},      {kCmdLaunch, "launch"}, {kCmdCp, "cp"},
    {kCmdVer, "ver"},      {kCmdDiag, "diag"},     {kCmdReadBoot, "rb"},
    {kCmdWriteBoot, "wb"}, {kCmdAudioGo, "go"},    {kCmdAudioCancel, "cancel"},
};

// The keyword for a command code, or nullptr for a code no command uses.
constexpr const char* command_code_keyword(uint8_t code) {
  for (const CommandKeyword& k : kCommandKeywords)
    if (k.code == code) return k.keyword;
  return nullptr;
}

enum DiagTest : uint8_t {
  kDiagAudio = 1,
  kDiagRtc = 2,
  kDiagUsb = 3,
  kDiagGba = 4,
  kDiagFlash = 5,
};

// The diag test words, in the order a command's word is tried against them. Each is
// compared case-insensitively over `compared` characters, so "flashy" runs the flash test.
struct DiagTestName {
  const char* word;
  uint8_t compared;
  DiagTest test;
};
inline constexpr DiagTestName kDiagTestNames[] = {
    {"usb", 3, kDiagUsb},     {"aud", 3, kDiagAudio}, {"rtc", 3, kDiagRtc},
    {"flash", 5, kDiagFlash}, {"gba", 3, kDiagGba},
};

inline void put_le32(uint8_t* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

inline int32_t get_le32(const uint8_t* p) {
  uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(u);
}

// Fills an 8-byte message; the unassigned bytes are sent as zeros.
inline void make_message(uint8_t* msg, uint8_t code, uint8_t sub_code, int32_t value) {
  msg[0] = code;
  msg[1] = sub_code;
  msg[2] = 0;
  msg[3] = 0;
  put_le32(msg + 4, value);
}

inline int8_t message_code(const uint8_t* msg) { return static_cast<int8_t>(msg[0]); }
inline int32_t message_value(const uint8_t* msg) { return get_le32(msg + 4); }

// Writes the 4-byte frame header for a payload of `length` bytes (length <= 0xFFFF).
inline void put_frame_header(uint8_t* p, size_t length) {
  p[0] = kFrameMarker0;
  p[1] = kFrameMarker1;
  p[2] = static_cast<uint8_t>(length >> 8);
  p[3] = static_cast<uint8_t>(length);
}

inline size_t frame_payload_length(const uint8_t* header) {
  return (static_cast<size_t>(header[2]) << 8) | header[3];
}

}  // namespace rq
