#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into tests/fuzz/corpus/<Target>/.

Each seed is a real exchange or file in the layout the target's FuzzedDataProvider reads:
numbers from the end of the input (the first one read is the last byte), byte strings and
texts from its start. Run it again after a target changes what it reads.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    """Builds one input: `front` is read from the start, `back` from the end."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order the target reads it

    def int_range(self, lo, hi, value, bits):
        rng, count, offset = hi - lo, 0, 0
        while offset < bits and (rng >> offset) > 0:
            count += 1
            offset += 8
        v = value - lo
        for i in reversed(range(count)):  # most significant byte first
            self.back.append((v >> (8 * i)) & 0xFF)
        return self

    def u8(self, v): return self.int_range(0, 255, v, 8)
    def u16(self, v): return self.int_range(0, 65535, v, 16)
    def u32(self, v): return self.int_range(0, 2**32 - 1, v, 32)
    def boolean(self, b): return self.u8(1 if b else 0)

    def raw(self, data):
        self.front += bytes(data)
        return self

    def text(self, s):
        """ConsumeRandomLengthString: backslashes doubled, a backslash and a letter end it."""
        self.front += bytes(s).replace(b"\\", b"\\\\") + b"\\E"
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def answers(seed, frames):
    """The AnsweringPort's frames, each with its CRC made right by the port."""
    seed.int_range(0, 12, len(frames), 32)
    for f in frames:
        seed.int_range(0, 260, len(f), 64)
        seed.boolean(True)
        seed.raw(f)
    return seed


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


LIVE = (b"#FILE=COM1\r\n#CHAN=3\r\n#NAME=Ua If State \r\n#XN=Time (sec)\r\n#F=166.666667\r\n"
        b"#XX=0,0.006000\r\n1.000000\t-2.500000\t0.300000\t\r\n#ERRSEQ\r\n"
        b"0.999000\t-2.400000\t0.300000\t\r\n1.0")
RECORDER = (b"#FILE=\r\n#INFO=File : 0002_(2026.11.25_03.41.55.020)\r\n"
            b"#NAME=State*0.1 Write*0.15 Prot*0.2 RF*0.25 Us Is If Uf Uexc P Q\r\n#CHAN=11\r\n"
            b"#XN=Time (sec)\r\n#XX=0,0.004000\r\n#F=250.000000\r\n"
            b"0.100000 0.000000 0.000000 0.000000 1.000600 0.801100 1.498200 1.198900 0.999700 "
            b"0.802500 0.099700\r\n0.3 0.15 0.25 0.35 -1.5\r\n")

# The number reader and the row formatting.
for i, s in enumerate([b"1.500000", b"-0.000001", b"166.666667", b"-100.000000\t", b"0x1p3",
                       b"1e308", b"nan", b"-inf", b"12345678901234567.5", b"+7.25", b"1.5e-320"]):
    write("NumberFuzz", "n%02d" % i, s + struct.pack("<d", 1.0 / 3) + struct.pack("<d", -99.9999995))

# The marks of a receive: a parity error on 'A', a break, a data FF.
for i, (raw, chunk) in enumerate([(b"\x01\x03\xff\x00\x41\x02", 3), (b"\xff\x00\x00\x10", 1),
                                  (b"\xff\xff\xff\x00\x55", 2)]):
    s = Seed()
    for v in (1, 0, 0, 1, 0):
        s.int_range(0, 2, v, 32)
    s.boolean(i != 1).int_range(1, 16, chunk, 64).raw(raw)
    write("LineErrorsFuzz", "m%d" % i, s.bytes())

# A live recording growing in three steps, and a recorder's file read once finished.
s = Seed().boolean(False).int_range(1, 6, 3, 32).boolean(False)
s.text(LIVE[:60]).text(LIVE[60:130]).raw(LIVE[130:])
write("RecordingFileFuzz", "live", s.bytes())
write("RecordingFileFuzz", "recorder", Seed().boolean(True).raw(RECORDER).bytes())

write("RecordingDataFuzz", "live", Seed().boolean(False).int_range(2, 4, 3, 32).raw(LIVE).bytes())
write("RecordingDataFuzz", "recorder", Seed().boolean(True).int_range(2, 4, 2, 32).raw(RECORDER).bytes())

# ModBus: a read of two holding registers, an exception, a single write's echo, a
# multiple write's answer.
mb = [(0, 1, 0x8000, 2, [b"\x01\x03\x04\x00\x01\x00\x02"]),
      (1, 1, 0x1001, 1, [b"\x01\x84\x06"]),
      (2, 1, 0x8006, 1, [b"\x01\x06\x80\x06\x00\x01"]),
      (3, 1, 0x8101, 1, [b"\x01\x10\x81\x01\x00\x01"]),
      (4, 1, 0x8000, 7, [b"\x01\x03\x04\x00\x01\x00\x02"])]
for i, (op, addr, reg, num, frames) in enumerate(mb):
    s = Seed().int_range(0, 4, op, 32).u8(addr).u16(reg).int_range(0, 130, num, 16)
    write("ModBusFuzz", "op%d" % i, answers(s, frames).bytes())

# The CAN tunnel: a request to the service channel and its 8-byte answer.
s = Seed().boolean(False).u8(0).int_range(0, 0x7FF, 0x690, 16).int_range(0, 8, 2, 32).raw(b"\x78\x01")
answers(s, [b"\x00\x41\x86\x90\x01\x00\x00\x01\x03\x00\x00\x00"])
write("CanTunnelFuzz", "setcount", s.bytes())

# The stream: a regulator with a SELVO panel, version 1, two channels of 16-byte
# descriptions, then three packets.
s = Seed().int_range(0, 3, 3, 32).raw(b"\x01\x01\x02\x10")
for name, scale in ((b"Ug", 0.001), (b"If", 0.01)):
    s.raw(struct.pack("<I", 2) + b"\xff\x00\x00\x00" + struct.pack("<f", scale) + name + b"\x00\x00")
s.u8(0)
for n in range(3):
    s.raw(bytes([1 + n, n]) + b"HELLO 12" + struct.pack(">hh", 0, 1000 + n) + struct.pack(">hh", 0, 150))
write("StreamFuzz", "selvo", s.bytes())

# Both panels: text segments, then the status packet with the cursor on.
s = Seed().int_range(1, 3, 3, 8).boolean(True).boolean(False)
for index in range(1, 15):
    s.raw(bytes([index, 0]) + (b"U=1.00 I" if index % 2 else b"=0.80 \x18\x19"))
s.raw(bytes([16, 0, 1, 3, 1, 0, 0, 0, 0, 0]))
write("PanelFuzz", "both", s.bytes())

# The recorder: a stored 10-channel recording at DIV 2 of two sectors, and the poll's
# header answer.
flags = 2 | (2 << 2) | (1 << 6) | (1 << 8)
time = (0x0000 | (55 << 10) | 20, (25 << 11) | (3 << 6) | 41, (26 << 4) | 11)
s = Seed().boolean(False)
for w in (2, flags) + time:
    s.u16(w)
for w in (1, 4, 3, 0):
    s.u16(w)
s.u32(8192)
for c in range(9):
    s.boolean(c == 0)
for sector in range(2):
    words = [7 + sector, flags] + list(time) + [0, 0, 0, 0xA202] + [0] * 7
    for k in range(24):
        sample = [0x0003] + [(1000 * (v + 1) + k) & 0xFFFF for v in range(9)]
        words += sample
    for w in words:
        s.u16(w)
write("RecorderFuzz", "sectors", s.bytes())
s = Seed().boolean(True)
answers(s, [b"\x01\x03\x08\x00\x01\x00\x01\x00\x00\x00\x00", b"\x01\x03\x04\x20\x00\x00\x00",
            b"\x01\x03\x0a\x00\x10" + bytes([flags >> 8, flags & 0xFF]) + b"\xdc\x14\xc8\xe9\x01\xab"])
s.boolean(True)
write("RecorderFuzz", "poll", s.bytes())

# The diary: a record and a text, then a message text read and the service channel's
# parameter set count.
for op, frames in ((0, [b"\x01\x06\x10\x06\x80\x05", b"\x01\x03\x0a" + b"OPEN BREAKER", b"\x01\x03\x0a" + b"\x00" * 10]),
                   (2, [b"\x00\x41\x86\x90\x01\x00\x00\x01\x03\x00\x00\x00"]),
                   (5, [b"\x00\x41\x86\x90\x05\x07\x01\x3f\x80\x00\x00\x00"])):
    s = Seed()
    for w in (0x0105, (30 << 10) | 500, (25 << 11) | (3 << 6) | 41, (26 << 4) | 11, 0x8003, 12, 0x4548, 0x4c4c, 0x004f, 0):
        s.u16(w)
    s.int_range(0, 5, op, 32).int_range(0, 300, 7, 32)
    write("DiaryFuzz", "op%d" % op, answers(s, frames).bytes())

# The analyses: a step, a ring-down and a sine as 16-bit samples, 500 Hz.
import math
for kind, name in ((0, "step"), (1, "ringdown"), (2, "sine")):
    s = Seed().int_range(0, 2, kind, 32).boolean(False).int_range(-40, 40, -10, 32)
    s.int_range(1, 99, 2, 32).boolean(kind == 0)
    if kind == 0:
        s.int_range(0, 4000, 200, 32)
    s.int_range(1, 20, 4, 32)
    for i in range(600):
        t = i * 0.002
        if kind == 0:
            y = 0 if t < 0.2 else 1 - math.exp(-8 * (t - 0.2)) * math.cos(20 * (t - 0.2))
        elif kind == 1:
            y = math.exp(-0.5 * t) * math.cos(2 * math.pi * 3 * t)
        else:
            y = math.sin(2 * math.pi * 25.3 * t)
        s.int_range(-32768, 32767, int(20000 * y), 16)
    write("AnalysisFuzz", name, s.bytes())
