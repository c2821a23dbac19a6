"""A test-only TCP relay that records what passes through it into a pcap file.

It listens on a loopback port, takes one client, connects it to the proxy and copies
bytes both ways. Each direction's bytes are written as TCP segments whose lengths follow
a chosen pattern (cycled), so a capture can split frames across segments or put several
frames in one, whatever the kernel did on the real sockets. Pending bytes of one side are
written out before the first bytes of the other side, which keeps the capture's order
the order of the conversation. The handshake and the closing FINs are written too, and
time stamps come from a counter, so the file depends only on the conversation.

No capture privilege is needed: nothing here touches a real interface.
"""

import select
import socket
import struct
import threading

SHELL, PROXY = 0, 1  # direction index: who sent the bytes

_MAX_SEGMENT = 65000  # keeps the IPv4 total length within 16 bits


def _checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


class PcapWriter:
    """Writes Ethernet/IPv4/TCP packets of one TCP connection into a pcap file."""

    def __init__(self, path, client_port, server_port):
        self.file = open(path, "wb")
        # Classic pcap header: microsecond stamps, snap length 262144, Ethernet.
        self.file.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 262144, 1))
        self.addr = [bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1])]
        self.port = [client_port, server_port]
        self.seq = [1000, 500000]  # next sequence number of each side
        self.usec = 0
        self.ip_id = [1, 1]

    def _packet(self, side, flags, payload=b""):
        other = 1 - side
        tcp = struct.pack(
            "!HHIIBBHHH",
            self.port[side],
            self.port[other],
            self.seq[side],
            self.seq[other] if flags & 0x10 else 0,
            5 << 4,
            flags,
            65535,
            0,
            0,
        )
        length = len(tcp) + len(payload)
        pseudo = self.addr[side] + self.addr[other] + struct.pack("!BBH", 0, 6, length)
        tcp = tcp[:16] + struct.pack("!H", _checksum(pseudo + tcp + payload)) + tcp[18:]
        ip = struct.pack(
            "!BBHHHBBH4s4s",
            0x45,
            0,
            20 + len(tcp) + len(payload),
            self.ip_id[side],
            0x4000,
            64,
            6,
            0,
            self.addr[side],
            self.addr[other],
        )
        ip = ip[:10] + struct.pack("!H", _checksum(ip)) + ip[12:]
        self.ip_id[side] += 1
        mac = [b"\x02\x00\x00\x00\x00\x01", b"\x02\x00\x00\x00\x00\x02"]
        frame = mac[other] + mac[side] + b"\x08\x00" + ip + tcp + payload
        self.usec += 1000
        seconds, usec = 1700000000 + self.usec // 1000000, self.usec % 1000000
        self.file.write(struct.pack("<IIII", seconds, usec, len(frame), len(frame)))
        self.file.write(frame)
        advance = len(payload) + (1 if flags & 0x03 else 0)  # SYN and FIN count as one byte
        self.seq[side] = (self.seq[side] + advance) & 0xFFFFFFFF

    def handshake(self):
        self._packet(SHELL, 0x02)  # SYN
        self._packet(PROXY, 0x12)  # SYN, ACK
        self._packet(SHELL, 0x10)  # ACK

    def segment(self, side, payload):
        self._packet(side, 0x18, payload)  # PSH, ACK

    def close(self):
        self._packet(SHELL, 0x11)  # FIN, ACK
        self._packet(PROXY, 0x11)
        self._packet(SHELL, 0x10)
        self.file.close()


class Segmenter:
    """Cuts each direction's byte stream into segments of the pattern's lengths."""

    def __init__(self, writer, pattern):
        self.writer = writer
        self.pattern = [max(1, min(n, _MAX_SEGMENT)) for n in pattern]
        self.next = [0, 0]
        self.pending = [bytearray(), bytearray()]

    def _want(self, side):
        return self.pattern[self.next[side] % len(self.pattern)]

    def _emit(self, side, n):
        self.writer.segment(side, bytes(self.pending[side][:n]))
        del self.pending[side][:n]
        self.next[side] += 1

    def flush(self, side):
        while self.pending[side]:
            self._emit(side, min(self._want(side), len(self.pending[side])))

    def feed(self, side, data):
        self.flush(1 - side)
        self.pending[side] += data
        while len(self.pending[side]) >= self._want(side):
            self._emit(side, self._want(side))


class Relay:
    """Relays one client to the proxy at 127.0.0.1:proxy_port, recording into pcap_path.

    pattern: segment lengths, cycled per direction. The pcap shows the client on
    client_port and the proxy on server_port, whatever ports the real sockets had.
    """

    def __init__(self, proxy_port, pcap_path, pattern, server_port=20025, client_port=40000):
        self.proxy_port = proxy_port
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.writer = PcapWriter(pcap_path, client_port, server_port)
        self.segmenter = Segmenter(self.writer, pattern)
        self.error = None
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        try:
            self.listener.settimeout(30)
            client, _ = self.listener.accept()
            proxy = socket.create_connection(("127.0.0.1", self.proxy_port), timeout=30)
            self.writer.handshake()
            self._copy(client, proxy)
            client.close()
            proxy.close()
        except OSError as e:
            self.error = e
        finally:
            self.listener.close()
            self.segmenter.flush(SHELL)
            self.segmenter.flush(PROXY)
            self.writer.close()

    def _copy(self, client, proxy):
        ends = {client: (SHELL, proxy), proxy: (PROXY, client)}
        open_ends = [client, proxy]
        while open_ends:
            readable, _, _ = select.select(open_ends, [], [], 30)
            if not readable:
                raise OSError("relay: no traffic for 30 s")
            for end in readable:
                side, peer = ends[end]
                data = end.recv(65536)
                if not data:
                    open_ends.remove(end)
                    try:
                        peer.shutdown(socket.SHUT_WR)
                    except OSError:
                        pass
                    continue
                self.segmenter.feed(side, data)
                peer.sendall(data)

    def wait(self, timeout=60):
        self.thread.join(timeout)
        return not self.thread.is_alive() and self.error is None
