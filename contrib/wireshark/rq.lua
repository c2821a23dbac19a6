-- Wireshark dissector for the framed protocol between rqshell and the device proxy.
--
-- Install: copy this file into the personal Lua plugins folder (see README.md beside it),
-- or load it for one run with `tshark -X lua_script:rq.lua`. It decodes TCP port 20025;
-- "Decode As..." (or `-d tcp.port==PORT,rq`) takes it to any other port.
--
-- Every frame is 0x41 0x67, a 16-bit big-endian payload length, the payload. An 8-byte
-- payload may be a command, ready, status or grant message, but also a short path, a put
-- payload or the last chunk of a transfer, so frames are told apart by following each
-- conversation's exchange from its start. A capture that begins in the middle of a
-- conversation is classified by length and code alone, and each such frame is flagged as
-- a guess, until a command message starts an exchange that can be followed.

local rq = Proto("rq", "rqshell device proxy protocol")

local DEFAULT_PORT = 20025
local MAX_PAYLOAD = 16384 -- largest frame payload either side sends
local CHUNK = 16384       -- file and boot image data per frame
local MESSAGE = 8

local COMMAND_NAMES = {
  [0x00] = "go", [0x01] = "ping", [0x02] = "format", [0x03] = "ls", [0x04] = "pwd",
  [0x05] = "cd", [0x06] = "mkdir", [0x07] = "rm", [0x08] = "mv", [0x09] = "put",
  [0x0a] = "get", [0x0b] = "launch", [0x0c] = "cp", [0x0d] = "ver", [0x20] = "diag",
  [0x30] = "rb", [0x31] = "wb", [0x63] = "cancel",
}
local CODE_GO, CODE_CANCEL = 0x00, 0x63

local DIAG_TESTS = { [1] = "aud", [2] = "rtc", [3] = "usb", [4] = "gba", [5] = "flash" }

local STATUS_TEXTS = {
  [0] = "shell command succeeded", [1] = "usb bus error", [2] = "unknown file system error",
  [3] = "access failed", [4] = "file corrupted", [5] = "invalid parameter",
  [6] = "file system not ready yet", [7] = "file already exists", [8] = "ran out of inodes",
  [9] = "file does not exist", [30] = "invalid path", [31] = "file path is too long",
  [100] = "command failed",
}

local function status_text(code)
  return STATUS_TEXTS[code] or "invalid error code"
end

-- What the value of a command message means, per command.
local COMMAND_VALUES = {
  ping = "ping counter", ls = "path length including its zero",
  cd = "path length including its zero", mkdir = "path length including its zero",
  rm = "path length including its zero", launch = "path length including its zero",
  mv = "length of both names with their zeros", cp = "length of both names with their zeros",
  put = "payload length: 4 + name length + 1", get = "name length including its zero",
  wb = "file size in bytes",
}

local ENTRY_TYPES = { [1] = "Dir", [2] = "File" }

local f = {
  marker = ProtoField.uint16("rq.marker", "Markers", base.HEX),
  length = ProtoField.uint16("rq.length", "Payload length", base.DEC),
  payload = ProtoField.bytes("rq.payload", "Payload"),
  dir = ProtoField.string("rq.dir", "Direction"),
  kind = ProtoField.string("rq.kind", "Frame"),
  exchange = ProtoField.string("rq.exchange", "Exchange"),
  request_in = ProtoField.framenum("rq.request_in", "Command message in", base.NONE,
                                   frametype and frametype.REQUEST),
  role = ProtoField.string("rq.role", "Role"),
  cmd = ProtoField.string("rq.cmd", "Command"),
  code = ProtoField.uint8("rq.code", "Code", base.DEC_HEX),
  sub = ProtoField.uint8("rq.sub", "Sub-code", base.DEC),
  boot = ProtoField.uint8("rq.boot", "Boot image", base.DEC),
  test = ProtoField.string("rq.test", "Diagnostic test"),
  stage = ProtoField.string("rq.stage", "Audio test stage"),
  value = ProtoField.int32("rq.value", "Value", base.DEC),
  status = ProtoField.int8("rq.status", "Status code", base.DEC),
  status_text = ProtoField.string("rq.status_text", "Status text"),
  refused = ProtoField.bool("rq.refused", "Refused"),
  path = ProtoField.string("rq.path", "Path"),
  from = ProtoField.string("rq.from", "Old name"),
  to = ProtoField.string("rq.to", "New name"),
  file_size = ProtoField.int32("rq.file_size", "File size", base.DEC),
  reduction = ProtoField.int32("rq.reduction", "First-chunk reduction", base.DEC),
  chunk = ProtoField.uint32("rq.chunk", "Chunk", base.DEC),
  chunks = ProtoField.uint32("rq.chunks", "Chunks in the transfer", base.DEC),
  offset = ProtoField.uint32("rq.offset", "Offset", base.DEC),
  data = ProtoField.bytes("rq.data", "Data"),
  text = ProtoField.string("rq.text", "Text"),
  ls_form = ProtoField.string("rq.ls.form", "Listing form"),
  ls_uid = ProtoField.int32("rq.ls.uid", "uid", base.DEC),
  ls_gid = ProtoField.int32("rq.ls.gid", "gid", base.DEC),
  ls_attr = ProtoField.uint32("rq.ls.attr", "attr", base.HEX),
  ls_own = ProtoField.uint32("rq.ls.own", "own", base.HEX),
  ls_grp = ProtoField.int32("rq.ls.grp", "grp", base.DEC),
  ls_other = ProtoField.int32("rq.ls.other", "other", base.DEC),
  ls_size = ProtoField.int32("rq.ls.size", "Size", base.DEC),
  ls_count = ProtoField.int32("rq.ls.count", "Entry count", base.DEC),
  ls_entry = ProtoField.string("rq.ls.entry", "Entry"),
  ls_type = ProtoField.uint8("rq.ls.type", "Entry type", base.DEC, ENTRY_TYPES),
  guess = ProtoField.bool("rq.guess", "Classified by a guess"),
}
local field_list = {}
for _, field in pairs(f) do field_list[#field_list + 1] = field end
rq.fields = field_list

local e = {
  markers = ProtoExpert.new("rq.bad_markers", "Frame markers are not 0x41 0x67",
                            expert.group.MALFORMED, expert.severity.WARN),
  oversize = ProtoExpert.new("rq.oversize", "Payload longer than 16384 bytes",
                             expert.group.MALFORMED, expert.severity.WARN),
  guess = ProtoExpert.new("rq.guess.expert", "Exchange not followed from its start",
                          expert.group.ASSUMPTION, expert.severity.NOTE),
  failure = ProtoExpert.new("rq.failure", "Non-zero status", expert.group.RESPONSE_CODE,
                            expert.severity.NOTE),
  unexpected = ProtoExpert.new("rq.unexpected", "Frame not expected in this exchange",
                               expert.group.SEQUENCE, expert.severity.WARN),
  sequence = ProtoExpert.new("rq.sequence", "Exchange out of step",
                             expert.group.SEQUENCE, expert.severity.WARN),
  malformed = ProtoExpert.new("rq.malformed", "Malformed payload", expert.group.MALFORMED,
                              expert.severity.WARN),
}
rq.experts = { e.markers, e.oversize, e.guess, e.failure, e.unexpected, e.sequence, e.malformed }

------------------------------------------------------------------------------------------
-- Per-conversation state, built on the first pass in capture order. Each frame's
-- classification is kept by frame number and offset, so later passes (and the GUI
-- jumping around) show the same labels without touching the state again.

local conversations = {} -- by TCP connection: both addresses and ports
local frames = {}        -- by "frame:offset": the classification of one PDU
local packet_pdus = {}   -- by frame number: its PDUs' keys, in order

function rq.init()
  conversations = {}
  frames = {}
  packet_pdus = {}
end

-- Older Wireshark releases lack the field; there the start is known from the opening ping.
local has_completeness, tcp_completeness = pcall(Field.new, "tcp.completeness")
if not has_completeness then tcp_completeness = function() return nil end end

-- Reads a little-endian signed 32-bit value at `at` of a Lua byte string.
local function le32(bytes, at)
  local b0, b1, b2, b3 = bytes:byte(at + 1, at + 4)
  local u = b0 + b1 * 0x100 + b2 * 0x10000 + b3 * 0x1000000
  if u >= 0x80000000 then u = u - 0x100000000 end
  return u
end

local function s8(byte)
  return byte >= 0x80 and byte - 0x100 or byte
end

local function chunk_count(size)
  if size <= 0 then return 0 end
  return math.floor((size + CHUNK - 1) / CHUNK)
end

local function new_conversation(known)
  return { known = known, first = true, phase = "idle", cmd = nil }
end

local function note(c, expert_field, text)
  c.notes[#c.notes + 1] = { expert_field, text }
end

-- Starts the exchange of the command message in `bytes` (8 bytes from the shell).
local function begin_command(conv, c, bytes, frame)
  local code, sub, value = bytes:byte(1), bytes:byte(2), le32(bytes, 4)
  local name = COMMAND_NAMES[code]
  local cmd = { code = code, sub = sub, value = value, frame = frame,
                name = name or string.format("0x%02x", code) }
  cmd.label = cmd.name
  if code == 0x20 then cmd.label = "diag " .. (DIAG_TESTS[sub] or tostring(sub)) end
  if code == 0x30 or code == 0x31 then cmd.label = cmd.name .. " " .. sub end
  conv.cmd = cmd
  c.kind = "command"
  c.cmd = cmd
  if not name then
    note(c, e.unexpected, string.format("Unknown command code 0x%02x", code))
    conv.phase, conv.role, conv.after_status = "status", "status", nil
    return
  end

  local gate = function(what, after)
    conv.phase, conv.gate_for, conv.after_send = "gate", what, after
  end
  local status = function(role, after)
    conv.phase, conv.role, conv.after_status = "status", role, after
  end
  local idle = function() conv.phase = "idle" end

  if name == "go" or name == "cancel" then
    note(c, e.unexpected, "An audio test answer outside the audio test")
    idle()
  elseif name == "ping" then
    conv.ping_sent = value
    status("reply", idle)
  elseif name == "format" then
    status("status", idle)
  elseif name == "pwd" or name == "ver" then
    status("status ahead of the reply", function(code)
      if code == 0 then conv.phase = "text" else idle() end
    end)
  elseif name == "cd" or name == "mkdir" or name == "rm" or name == "launch" or name == "ls" then
    gate("path", function()
      status(name == "ls" and "status ahead of the listing" or "status", function(code)
        if code == 0 and name == "ls" then conv.phase = "listing" else idle() end
      end)
    end)
  elseif name == "mv" or name == "cp" then
    gate("names", function() status("status", idle) end)
  elseif name == "get" then
    gate("name", function()
      status("status with the file size", function(code, size)
        conv.size, conv.received, conv.chunk = size, 0, 0
        if code == 0 and size > 0 then conv.phase = "get data" else idle() end
      end)
    end)
  elseif name == "put" then
    gate("put payload", function(size)
      conv.size, conv.sent, conv.chunk = size, 0, 0
      conv.chunks = chunk_count(size)
      if size > 0 then conv.phase = "grant" else status("final status", idle) end
    end)
  elseif name == "rb" then
    status("status with the image size", function(code, size)
      conv.size, conv.received, conv.chunk = size, 0, 0
      if code == 0 and size > 0 then conv.phase = "rb data" else idle() end
    end)
  elseif name == "wb" then
    conv.size, conv.sent, conv.chunk, conv.reduction = value, 0, 0, 0
    local start_data = function()
      local first = CHUNK - conv.reduction
      if value <= first then
        conv.chunks = value > 0 and 1 or 0
      else
        conv.chunks = 1 + chunk_count(value - first)
      end
      if value > 0 then gate("chunk") else idle() end
    end
    if sub == 1 then
      start_data()
    else
      status("status with the first-chunk reduction", function(code, reduction)
        if code ~= 0 then return idle() end
        conv.reduction = reduction
        if reduction < 0 or reduction >= CHUNK then
          conv.reduction_unusable = true
          return idle()
        end
        start_data()
      end)
    end
  elseif name == "diag" then
    if sub == 1 then
      conv.stage = "tone"
      gate("answer")
    else
      status("test result", idle)
    end
  end
end

-- The audio test: what follows the status of each stage, and each answer.
local function audio_after_answer(conv, answer)
  local stage = conv.stage
  local idle = function() conv.phase = "idle" end
  local status = function(role, after)
    conv.phase, conv.role, conv.after_status = "status", role, after
  end
  if stage == "tone" then
    -- A status follows a cancel here as it follows a go.
    status("status after the tones", function(code)
      if code ~= 0 then return idle() end
      -- Only the operator's answer to the tone question decides whether the record
      -- prompt comes; its ready is on the wire either way.
      conv.stage = "record"
      conv.phase, conv.gate_for = "gate", "answer"
    end)
  elseif answer == CODE_CANCEL then
    idle()
  elseif stage == "record" then
    status("status after the recording", function(code)
      if code ~= 0 then return idle() end
      conv.stage = "playback"
      conv.phase, conv.gate_for = "gate", "answer"
    end)
  else
    status("status after the playback", function(code)
      if code ~= 0 then return idle() end
      status("final status", idle)
    end)
  end
end

local function is_command_code(code)
  return COMMAND_NAMES[code] ~= nil and code ~= CODE_GO and code ~= CODE_CANCEL
end

-- A frame from the proxy, classified by the exchange's phase.
local function classify_proxy(conv, c, bytes, len)
  local phase = conv.phase
  local cmd = conv.cmd
  c.cmd = cmd
  if phase == "idle" or phase == "gate" or phase == "grant" then
    if len ~= MESSAGE then
      c.kind = "unknown"
      note(c, e.unexpected, "Expected an 8-byte ready message")
      return
    end
    local code, value = s8(bytes:byte(1)), le32(bytes, 4)
    c.status, c.value = code, value
    if phase == "idle" then
      c.kind, c.role, c.cmd = "ready", "ahead of the command message", nil
      conv.last_ready = c
      return
    end
    if phase == "grant" then
      c.kind = "grant"
      c.role = conv.chunk + 1 < conv.chunks
        and string.format("for chunks %d and %d", conv.chunk, conv.chunk + 1)
        or string.format("for chunk %d", conv.chunk)
      if code ~= 0 then conv.phase = "idle" else conv.phase = "put data" end
      return
    end
    c.kind = "ready"
    if conv.gate_for == "chunk" then
      c.role = string.format("ahead of chunk %d", conv.chunk)
    elseif conv.gate_for == "answer" then
      c.role = "ahead of the " .. conv.stage .. " answer"
      if conv.stage == "record" then
        c.role = c.role .. " (or of the next command)"
      end
    else
      c.role = "ahead of the " .. conv.gate_for
    end
    conv.last_ready = c
    if code ~= 0 then conv.phase = "idle" else conv.phase = "send" end
  elseif phase == "status" then
    if len ~= MESSAGE then
      c.kind = "unknown"
      note(c, e.unexpected, "Expected an 8-byte status message")
      conv.phase = "idle"
      return
    end
    local code, value = s8(bytes:byte(1)), le32(bytes, 4)
    c.kind, c.role, c.status, c.value = "status", conv.role, code, value
    if conv.cmd and conv.cmd.name == "ping" then
      c.ping_expected = conv.ping_sent + 1
      if value ~= c.ping_expected then
        note(c, e.sequence, string.format("Ping out of sync: value %d, expected %d", value,
                                          c.ping_expected))
      end
    elseif conv.role:find("status after chunk") then
      c.chunk = conv.chunk - 1
    end
    local after = conv.after_status
    conv.after_status = nil
    if after then after(code, value) else conv.phase = "idle" end
    if conv.reduction_unusable then
      conv.reduction_unusable = nil
      note(c, e.malformed, "No first chunk of this reduction fits a frame: no data follows")
    end
  elseif phase == "text" then
    c.kind = "text"
    conv.phase = "idle"
  elseif phase == "listing" then
    c.kind, c.path = "listing", conv.path
    conv.phase = "idle"
  elseif phase == "get data" or phase == "rb data" then
    -- The proxy chooses the frame lengths: the count of chunks is known only at the end.
    c.kind, c.chunk, c.offset, c.size = "chunk", conv.chunk, conv.received, conv.size
    if len == 0 then note(c, e.malformed, "Empty data frame: nothing received") end
    conv.received = conv.received + len
    conv.chunk = conv.chunk + 1
    if conv.received >= conv.size then
      conv.phase = "idle"
    elseif phase == "rb data" then
      conv.phase, conv.role = "status", "status after chunk " .. c.chunk
      conv.after_status = function(code)
        conv.phase = code == 0 and "rb data" or "idle"
      end
    end
  else
    -- The shell is due to send; the proxy should be silent.
    c.kind = len == MESSAGE and "message" or "unknown"
    if len == MESSAGE then c.status, c.value = s8(bytes:byte(1)), le32(bytes, 4) end
    note(c, e.unexpected, "The proxy sent while the shell was due to send")
  end
end

-- A frame from the shell, classified by the exchange's phase.
local function classify_shell(conv, c, bytes, len, frame)
  local phase = conv.phase
  c.cmd = conv.cmd
  if phase == "send" and conv.gate_for == "answer" then
    local code = len == MESSAGE and bytes:byte(1) or nil
    if code == CODE_GO or code == CODE_CANCEL then
      c.kind, c.stage, c.answer = "answer", conv.stage, code
      if conv.last_ready then conv.last_ready.role = "ahead of the " .. conv.stage .. " answer" end
      audio_after_answer(conv, code)
      return
    end
    -- The operator left the dialogue: the shell's next command took the prompt's ready.
    if conv.last_ready then
      conv.last_ready.role = "ahead of a command message (the audio test had ended)"
    end
    conv.phase = "idle"
    phase = "idle"
  end
  if phase == "send" then
    local what = conv.gate_for
    local after = conv.after_send
    conv.after_send = nil
    if what == "chunk" then
      c.kind, c.chunk, c.chunks, c.offset = "chunk", conv.chunk, conv.chunks, conv.sent
      conv.sent = conv.sent + len
      conv.chunk = conv.chunk + 1
      if conv.sent >= conv.size then conv.phase = "idle" else conv.phase = "gate" end
      return
    end
    c.kind = what
    if what == "path" then conv.path = bytes:match("^[^\0]*") end
    local size = (what == "put payload" and len >= 4) and le32(bytes, 0) or nil
    if what == "put payload" and len < 5 then
      note(c, e.malformed, "A put payload holds a 4-byte size, a name and a zero")
    end
    if after then after(size or 0) else conv.phase = "idle" end
    return
  end
  if phase == "put data" then
    c.kind, c.chunk, c.chunks, c.offset = "chunk", conv.chunk, conv.chunks, conv.sent
    conv.sent = conv.sent + len
    conv.chunk = conv.chunk + 1
    if conv.sent >= conv.size then
      conv.phase, conv.role, conv.after_status = "status", "final status", nil
    elseif conv.chunk % 2 == 0 then
      conv.phase = "grant"
    end
    return
  end
  if len == MESSAGE and (phase == "idle" or is_command_code(bytes:byte(1))) then
    if phase ~= "idle" then
      note(c, e.sequence, "A command message before the exchange of " ..
           (conv.cmd and conv.cmd.label or "?") .. " was complete")
    end
    begin_command(conv, c, bytes, frame)
    return
  end
  c.kind = "unknown"
  note(c, e.unexpected, "The shell sent while the proxy was due to send")
end

-- Classification by length and code alone, for frames ahead of the first command
-- message of a conversation that was not captured from its start.
local function guess(conv, c, bytes, len, from_shell, frame)
  -- A shell opens with a ping carrying 0, sent without waiting for a ready: as the first
  -- frame of a conversation it marks the start even where the handshake is not known
  -- (tshark's first pass of -2 builds no TCP fields to tell).
  if conv.first and from_shell and len == MESSAGE and bytes:byte(1) == 1
      and le32(bytes, 4) == 0 then
    conv.known = true
    begin_command(conv, c, bytes, frame)
    return
  end
  c.guess = true
  if from_shell and len == MESSAGE and is_command_code(bytes:byte(1)) then
    begin_command(conv, c, bytes, frame)
    conv.known = true
    note(c, e.guess, "Taken as a command message by its length and code; " ..
         "the exchange is followed from here")
    return
  end
  if not from_shell and len == MESSAGE then
    c.kind = "ready or status"
    c.status, c.value = s8(bytes:byte(1)), le32(bytes, 4)
  else
    c.kind = "data"
  end
  note(c, e.guess, "Conversation not captured from its start: classified by length alone")
end

local function classify(conv, bytes, len, from_shell, frame)
  local c = { notes = {} }
  if not conv.known then
    guess(conv, c, bytes, len, from_shell, frame)
    conv.first = false
  elseif from_shell then
    classify_shell(conv, c, bytes, len, frame)
  else
    classify_proxy(conv, c, bytes, len)
  end
  return c
end

------------------------------------------------------------------------------------------
-- Rendering: the tree and the one-line summary of a classified PDU.

-- The text up to its zero (or the whole range when it has none), and the zero's index.
local function zero_terminated(bytes, from, to)
  local z = bytes:find("\0", from + 1, true)
  if z and z <= to then return bytes:sub(from + 1, z - 1), z - 1 end
  return bytes:sub(from + 1, to), nil
end

local function quoted(text)
  return '"' .. text:gsub("[%c\"\\\128-\255]", function(ch)
    return string.format("\\x%02x", ch:byte())
  end) .. '"'
end

local function add_message(tree, pay, c)
  tree:add(f.status, pay(0, 1))
  local text = status_text(c.status)
  tree:add(f.status_text, pay(0, 1), text):set_generated()
  local meaning = "not examined"
  if c.ping_expected then
    meaning = "ping counter + 1, expected " .. c.ping_expected
  elseif c.role and c.role:find("size") and c.status == 0 then
    meaning = c.role:find("image") and "image size in bytes" or "file size in bytes"
  elseif c.role and c.role:find("reduction") and c.status == 0 then
    meaning = "first-chunk reduction"
  elseif c.role and (c.role:find("reply") or c.role:find("listing")) and c.status == 0 then
    meaning = "length of the reply"
  end
  local item = tree:add_le(f.value, pay(4, 4))
  item:append_text(" (" .. meaning .. ")")
  if c.role and c.role:find("size") and c.status == 0 then
    tree:add_le(f.file_size, pay(4, 4)):set_generated()
  elseif c.role and c.role:find("reduction") and c.status == 0 then
    tree:add_le(f.reduction, pay(4, 4)):set_generated()
  end
  if c.kind == "ready" or c.kind == "grant" then
    tree:add(f.refused, c.status ~= 0):set_generated()
  end
  if c.status ~= 0 then
    local what = (c.kind == "ready" or c.kind == "grant") and "Refused" or "Failed"
    tree:add_proto_expert_info(e.failure, string.format("%s: %d %s", what, c.status, text))
  end
  local summary = c.kind
  if c.kind == "ready" or c.kind == "grant" then
    summary = c.kind .. (c.role and (" " .. c.role) or "")
    if c.status ~= 0 then summary = summary .. string.format(" refused: %d %s", c.status, text) end
    return summary
  end
  if c.role then summary = c.role end
  if c.status ~= 0 or c.kind ~= "status" then
    summary = summary .. string.format(": %d %s", c.status, text)
  elseif meaning ~= "not examined" then
    summary = summary .. string.format(": ok, value %d", c.value)
  else
    summary = summary .. ": ok"
  end
  return summary
end

local function add_command(tree, pay, bytes, c)
  local cmd = c.cmd
  tree:add(f.cmd, pay(0, 1), cmd.name)
  tree:add(f.code, pay(0, 1))
  local sub = tree:add(f.sub, pay(1, 1))
  if cmd.name == "diag" then
    local test = DIAG_TESTS[cmd.sub] or "unknown test"
    sub:append_text(" (" .. test .. ")")
    tree:add(f.test, pay(1, 1), test)
  elseif cmd.name == "rb" or cmd.name == "wb" then
    sub:append_text(" (boot image number)")
    tree:add(f.boot, pay(1, 1))
  else
    sub:append_text(" (not assigned)")
  end
  local meaning = COMMAND_VALUES[cmd.name] or "not assigned"
  tree:add_le(f.value, pay(4, 4)):append_text(" (" .. meaning .. ")")
  if cmd.name == "wb" then tree:add_le(f.file_size, pay(4, 4)):set_generated() end
  local summary = cmd.label .. " command"
  if COMMAND_VALUES[cmd.name] then summary = summary .. ", value " .. cmd.value end
  return summary
end

local function add_listing(tree, pay, bytes, len)
  if len == 0 then
    tree:add_proto_expert_info(e.malformed, "Empty listing reply")
    return "empty"
  end
  if bytes:byte(1) == 0x46 then
    tree:add(f.ls_form, pay(0, 1), "file")
    local names = { "ls_uid", "ls_gid", "ls_attr", "ls_own", "ls_grp", "ls_other", "ls_size" }
    for i, name in ipairs(names) do
      local at = 4 * i
      if at + 4 > len then
        tree:add_proto_expert_info(e.malformed, "File record shorter than 32 bytes")
        break
      end
      tree:add_le(f[name], pay(at, 4))
    end
    if len >= 32 then return "file of " .. le32(bytes, 28) .. " bytes" end
    return "file (short record)"
  end
  tree:add(f.ls_form, pay(0, 1), "directory")
  if len < 8 then
    tree:add_proto_expert_info(e.malformed, "Directory reply shorter than 8 bytes")
    return "directory (short reply)"
  end
  local count = le32(bytes, 4)
  tree:add_le(f.ls_count, pay(4, 4))
  local start, number = 8, 0
  for i = 8, len - 1 do
    if number >= count then break end
    local b = bytes:byte(i + 1)
    if b == 1 or b == 2 then
      number = number + 1
      -- A zero inside a name ends the name as the shell prints it.
      local name = zero_terminated(bytes, start, i)
      local entry = tree:add(f.ls_entry, pay(start, i - start + 1), name)
      entry:set_text(string.format("Entry %d: %s %s", number, ENTRY_TYPES[b], name))
      entry:add(f.ls_type, pay(i, 1))
      start = i + 1
    end
  end
  if number < count then
    tree:add_proto_expert_info(e.malformed, string.format(
      "Entry count %d, but the reply holds %d entries", count, number))
  end
  return string.format("directory of %d entries", count)
end

local function add_chunk(tree, pay, len, c)
  tree:add(f.chunk, c.chunk):set_generated()
  if c.chunks then tree:add(f.chunks, c.chunks):set_generated() end
  tree:add(f.offset, c.offset):set_generated()
  if len > 0 then tree:add(f.data, pay(0, len)) end
  if c.size then
    tree:add(f.file_size, c.size):set_generated()
    return string.format("chunk %d, offset %d, %d bytes (%d of %d)", c.chunk, c.offset, len,
                         c.offset + len, c.size)
  end
  local of = c.chunks and c.chunks > 0 and (" of " .. c.chunks) or ""
  return string.format("chunk %d%s, offset %d, %d bytes", c.chunk, of, c.offset, len)
end

-- The tree under `tree` for one classified PDU; returns its summary line.
local function render(tree, pay, bytes, len, c)
  if c.guess then tree:add(f.guess, true):set_generated() end
  for _, n in ipairs(c.notes) do tree:add_proto_expert_info(n[1], n[2]) end
  tree:add(f.kind, c.kind):set_generated()
  if c.cmd and c.kind ~= "command" then
    tree:add(f.exchange, c.cmd.label):set_generated()
    tree:add(f.request_in, c.cmd.frame):set_generated()
  end
  if c.role then tree:add(f.role, c.role):set_generated() end
  local prefix = (c.cmd and c.kind ~= "command") and (c.cmd.label .. ": ") or ""
  local kind = c.kind
  if kind == "command" then
    return add_command(tree, pay, bytes, c)
  elseif kind == "answer" then
    local name = COMMAND_NAMES[c.answer]
    tree:add(f.cmd, pay(0, 1), name)
    tree:add(f.code, pay(0, 1))
    tree:add(f.stage, c.stage):set_generated()
    return prefix .. name .. " (" .. c.stage .. " prompt)"
  elseif kind == "ready" or kind == "status" or kind == "grant" or kind == "message"
      or kind == "ready or status" then
    return prefix .. add_message(tree, pay, c)
  elseif kind == "path" or kind == "name" then
    local path, zero = zero_terminated(bytes, 0, len)
    tree:add(f.path, pay(0, zero and zero + 1 or len), path)
    if not zero then tree:add_proto_expert_info(e.malformed, "Path without its zero") end
    return prefix .. kind .. " " .. quoted(path)
  elseif kind == "names" then
    local old, z1 = zero_terminated(bytes, 0, len)
    local new = ""
    tree:add(f.from, pay(0, z1 and z1 + 1 or len), old)
    if z1 and z1 + 1 < len then
      local z2
      new, z2 = zero_terminated(bytes, z1 + 1, len)
      tree:add(f.to, pay(z1 + 1, (z2 and z2 + 1 or len) - z1 - 1), new)
    else
      tree:add_proto_expert_info(e.malformed, "Two names, each with its zero, expected")
    end
    return prefix .. "names " .. quoted(old) .. " -> " .. quoted(new)
  elseif kind == "put payload" then
    if len < 4 then return prefix .. "put payload (short)" end
    tree:add_le(f.file_size, pay(0, 4))
    local name, zero = zero_terminated(bytes, 4, len)
    if len > 4 then tree:add(f.path, pay(4, (zero and zero + 1 or len) - 4), name) end
    return prefix .. string.format("put payload: %d bytes as %s", le32(bytes, 0), quoted(name))
  elseif kind == "chunk" then
    return prefix .. add_chunk(tree, pay, len, c)
  elseif kind == "text" then
    local text = zero_terminated(bytes, 0, len)
    if len > 0 then tree:add(f.text, pay(0, len), text) else tree:add(f.text, "") end
    return prefix .. "reply " .. quoted(text)
  elseif kind == "listing" then
    if c.path then tree:add(f.path, c.path):set_generated() end
    local listing = add_listing(tree, pay, bytes, len)
    return prefix .. "listing of " .. quoted(c.path or "") .. ": " .. listing
  end
  if len > 0 then tree:add(f.payload, pay(0, len)) end
  return prefix .. kind .. string.format(" (%d bytes)", len)
end

------------------------------------------------------------------------------------------
-- Frames on the TCP stream.

local function pdu_length(tvb, pinfo, offset)
  return 4 + tvb(offset + 2, 2):uint()
end

-- Which side is the proxy: the port this dissector was chosen by (its registration or
-- Decode As), else the lower port.
local function from_shell(pinfo)
  local port = pinfo.match_uint
  if port == pinfo.dst_port and port ~= pinfo.src_port then return true end
  if port == pinfo.src_port and port ~= pinfo.dst_port then return false end
  return pinfo.dst_port < pinfo.src_port
end

local function dissect_frame(tvb, pinfo, tree)
  local len = tvb:len()
  local plen = tvb(2, 2):uint()
  local shell = from_shell(pinfo)
  local bytes = plen > 0 and tvb:raw(4, plen) or ""
  local pay = function(at, n) return tvb(4 + at, n) end

  local key = pinfo.number .. ":" .. tvb:offset()
  local c = frames[key]
  if not c then
    -- One state per TCP connection, the same whichever way the frame goes.
    local a = tostring(pinfo.src) .. ":" .. pinfo.src_port
    local b = tostring(pinfo.dst) .. ":" .. pinfo.dst_port
    local id = a < b and (a .. " " .. b) or (b .. " " .. a)
    local conv = conversations[id]
    if not conv then
      local completeness = tcp_completeness()
      -- Bit 0: the handshake's SYN was seen, so this is the conversation's start. The
      -- field is there only where TCP builds its tree on this pass.
      local known = completeness ~= nil and completeness.value % 2 == 1
      conv = new_conversation(known)
      conversations[id] = conv
    end
    c = classify(conv, bytes, plen, shell, pinfo.number)
    frames[key] = c
    local list = packet_pdus[pinfo.number] or {}
    list[#list + 1] = key
    packet_pdus[pinfo.number] = list
  end

  local root = tree:add(rq, tvb(0, len))
  root:add(f.dir, shell and "shell to proxy" or "proxy to shell"):set_generated()
  local markers = root:add(f.marker, tvb(0, 2))
  if tvb(0, 1):uint() ~= 0x41 or tvb(1, 1):uint() ~= 0x67 then
    markers:add_proto_expert_info(e.markers)
  end
  local length_item = root:add(f.length, tvb(2, 2))
  if plen > MAX_PAYLOAD then length_item:add_proto_expert_info(e.oversize) end

  local summary = render(root, pay, bytes, plen, c)
  c.summary = (c.guess and "[guess] " or "") .. summary
  root:append_text(", " .. c.summary)

  -- The Info column lists the packet's PDUs in order. TCP fences the column between the
  -- calls it makes for one packet, so each PDU after the first appends to it.
  pinfo.cols.protocol = "RQ"
  local list = packet_pdus[pinfo.number]
  if not list or list[1] == key then
    pinfo.cols.info:set((shell and "shell > " or "proxy > ") .. c.summary)
  else
    pinfo.cols.info:append(" | " .. c.summary)
  end
  return len
end

function rq.dissector(tvb, pinfo, tree)
  dissect_tcp_pdus(tvb, tree, 4, pdu_length, dissect_frame, true)
  return tvb:len()
end

local tcp_port = DissectorTable.get("tcp.port")
tcp_port:add(DEFAULT_PORT, rq)
tcp_port:add_for_decode_as(rq)
