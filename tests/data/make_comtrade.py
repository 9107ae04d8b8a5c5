#!/usr/bin/env python3
"""Writes the COMTRADE test records into tests/data/comtrade/.

Every record is made here from formulas (a 50 Hz sine, a step, a status bit that
toggles), by hand in the layout of its revision and file type, so that the tests know
each value exactly. Run it again after changing a record; the files are small and kept
in the repository.

Good records:
  r1991_ascii     1991 (no revision year), ASCII, mm/dd/yy dates, 99999 for a missing sample
  r1999_binary    1999, BINARY, 17 status channels (two words), -32768 missing, S-side factors
  r2013_binary32  2013, BINARY32, 0x80000000 missing, time_code and local_code
  r2013_float32   2013, FLOAT32, a NaN missing, "x" as local_code, endings in upper case
  two_rates       1999, ASCII, 1000 Hz up to sample 10, then 500 Hz up to 15
  stamps          1999, ASCII, nrates 0: times from the time stamps (timemult 2)
Broken records: missing_dat, short_dat, cut_short, bad_counts, bad_rate, bad_endsamp,
bad_type, bad_date, few_fields, bad_value, bad_analog.

Each record is also a seed of the ComtradeFuzz target in tests/fuzz/corpus/comtrade/: its
.cfg, a 0x00 byte, its .dat.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "comtrade")
SEEDS = os.path.join(HERE, "..", "fuzz", "corpus", "ComtradeFuzz")


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def cfg(lines):
    return "".join(line + "\r\n" for line in lines)


def sine(n, rate, amplitude):
    """The 50 Hz sine's sample n, rounded half away from zero as the tests do."""
    v = amplitude * math.sin(2 * math.pi * 50 * n / rate)
    return int(math.floor(abs(v) + 0.5)) * (1 if v >= 0 else -1)


def r1991_ascii():
    # Ua = 0.01 × sine (kV), If = 0.5 × step - 1 (A), Brk toggles at sample 20.
    write("r1991_ascii.cfg", cfg([
        "Station 7,Unit 2", "3,2A,1D",
        "1,Ua,A,,kV,0.01,0,0,-32767,32767",
        "2,If,,,A,0.5,-1,0,-32767,32767",
        "1,Brk,0",
        "50", "1", "1000,40",
        "03/15/97,10:20:30.123456", "03/15/97,10:20:30.133456", "ASCII"]))
    rows = []
    for n in range(40):
        ua = 99999 if n == 7 else sine(n, 1000, 10000)
        rows.append("%d,%d,%d,%d,%d" % (n + 1, n * 1000, ua, 10 if n >= 10 else 2,
                                       1 if n >= 20 else 0))
    write("r1991_ascii.dat", "\r\n".join(rows) + "\r\n\r\n\x1a")


def r1999_binary():
    # Ua (secondary volts, 110 kV / 100 V), Ib; status k is on at sample n when (n >> k) & 1
    # for k < 16, the 17th (second word) from sample 50 on.
    status = ["%d,S%d,,,0" % (k + 1, k + 1) for k in range(17)]
    write("r1999_binary.cfg", cfg([
        "Sub A,Rec 12,1999", "19,2A,17D",
        "1,Ua,A,Bus,V,0.005,0,0,-32767,32767,110000,100,S",
        "2,Ib,B,,A,0.001,0.25,0,-32767,32767,1000,1,P"] + status + [
        "50", "1", "2000,100",
        "01/02/2024,23:59:59.999000", "02/02/2024,00:00:00.000500", "BINARY", "1"]))
    out = bytearray()
    for n in range(100):
        ua = -32768 if n == 3 else sine(n, 2000, 20000)
        bits = n & 0xFFFF
        out += struct.pack("<IIhhHH", n + 1, n * 500, ua, n * 10 - 500, bits,
                           1 if n >= 50 else 0)
    write("r1999_binary.dat", out)


def r2013(name, ext, ft, pack, missing, codes):
    write(name + ext[0], cfg([
        "Plant,Korvex test,2013", "3,2A,1D",
        "1,U,,,kV,0.001,0,0,-100000,100000,1,1,P",
        "2,,C,,A,2,1,0,-100000,100000,1,1,P",
        "1,Trip,,,0",
        "50", "1", "4000,80",
        "29/02/2024,12:00:00.000000", "29/02/2024,12:00:00.005000", ft, "1",
        codes, "0,0"]))
    out = bytearray()
    for n in range(80):
        u = missing if n == 4 else sine(n, 4000, 300000)
        out += struct.pack("<II", n + 1, n * 250) + pack(u) + pack(n - 40)
        out += struct.pack("<H", 1 if 30 <= n < 60 else 0)
    write(name + ext[1], out)


def two_rates():
    write("two_rates.cfg", cfg([
        "Two,Rates,1999", "1,1A,0D", "1,X,,,V,1,0,0,-32767,32767,1,1,P",
        "50", "2", "1000,10", "500,15",
        "01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", "ASCII", "1"]))
    write("two_rates.dat", "".join("%d,,%d\n" % (n + 1, n * 10) for n in range(15)))


def stamps():
    write("stamps.cfg", cfg([
        "Stamps,,1999", "2,1A,1D", "1,X,,,V,1,0,0,-32767,32767,1,1,P", "1,B,,,0",
        "50", "0", "0,6",
        "01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", "ASCII", "2"]))
    ticks = [0, 125, 250, 500, 625, 750]  # × 2 µs: a gap of 500 µs after the third
    write("stamps.dat", "".join("%d,%d,%d,%d\n" % (n + 1, t, n + 1, n % 2)
                                for n, t in enumerate(ticks)))


def broken():
    good = ["Bad,One,1999", "1,1A,0D", "1,X,,,V,1,0,0,-32767,32767,1,1,P", "50", "1",
            "1000,10", "01/01/2020,00:00:00.000000", "01/01/2020,00:00:00.000000", "BINARY", "1"]
    rows = b"".join(struct.pack("<IIh", n + 1, n * 1000, n) for n in range(10))

    def record(name, lines, dat=rows):
        write(name + ".cfg", cfg(lines))
        if dat is not None:
            write(name + ".dat", dat)

    record("missing_dat", good, None)
    record("short_dat", good, rows[:7 * 10])
    record("cut_short", good, rows[:7 * 10 + 4])
    record("bad_counts", good[:1] + ["3,2A,2D"] + good[2:])
    record("bad_rate", good[:5] + ["-1000,10"] + good[6:])
    record("bad_endsamp", good[:4] + ["2", "1000,10", "500,10"] + good[6:])
    record("bad_type", good[:8] + ["BINARY16"] + good[9:])
    record("bad_date", good[:6] + ["31/02/2020,00:00:00.000000"] + good[7:])
    record("bad_analog", good[:2] + ["1,X,,,V,one,0"] + good[3:])
    ascii_cfg = good[:8] + ["ASCII", "1"]
    ascii_rows = ["%d,%d,%d\r\n" % (n + 1, n * 1000, n) for n in range(10)]
    record("few_fields", ascii_cfg, "".join(ascii_rows[:1] + ["2,1000\r\n"] + ascii_rows[2:]))
    record("bad_value", ascii_cfg, "".join(ascii_rows[:1] + ["\r\n2,1000,5x\r\n"] + ascii_rows[2:]))


def main():
    os.makedirs(OUT, exist_ok=True)
    r1991_ascii()
    r1999_binary()
    r2013("r2013_binary32", (".cfg", ".dat"), "BINARY32", lambda v: struct.pack("<i", v), -2**31, "+5h30,-3")
    r2013("r2013_float32", (".CFG", ".DAT"), "FLOAT32", lambda v: struct.pack("<f", v), float("nan"), "-5h30,x")
    two_rates()
    stamps()
    broken()
    os.makedirs(SEEDS, exist_ok=True)
    for name in sorted(os.listdir(OUT)):
        base, ext = os.path.splitext(name)
        if ext.lower() != ".cfg":
            continue
        dat = os.path.join(OUT, base + (".DAT" if ext == ".CFG" else ".dat"))
        with open(os.path.join(OUT, name), "rb") as f:
            seed = f.read() + b"\0"
        if os.path.exists(dat):
            with open(dat, "rb") as f:
                seed += f.read()
        with open(os.path.join(SEEDS, base), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main()
