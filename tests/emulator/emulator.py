#!/usr/bin/env python3
"""The emulator test: libspuZarn.so as the sound plugin of a real PlayStation
emulator, Debian's pcsxr with its high-level BIOS, on a virtual display.

    emulator.py --library libspuZarn.so --check capture_check --spuhost spuhost --work DIR

Builds the programs tone.c and cd.c with the MIPS cross compiler and a CD
image from scratch, then runs pcsxr three times in each sound model (the
standard one, then "ConsoleAccurate" 1 as `spuhost settings` saves it) with a
private HOME whose ~/.asoundrc sends the sound through ALSA's file plugin
into a FIFO that `capture_check --pace` reads at a sound card's rate: "tone"
(a looping sine with the SPU interrupt in the loop, a state saved with F1;
in the console model the registers read back and the extended record),
"load" (that state loaded at start-up: sound RAM, the registers and the tone
come back) and "cd" (notes into the "Hall" reverb, XA with and without
SPUCNT bit 0, a CD audio track). Each check prints its name and "ok" or
"FAILED", each figure its key and value.

Exits 1 when a check fails; 77 (skipped) when pcsxr, the cross compiler,
xvfb-run or xdotool is missing (scripts/setup emulator), unless
SPUZARN_REQUIRE_EMULATOR is set.
"""
import argparse
import cmath
import glob
import gzip
import math
import os
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PCSXR = "/usr/games/pcsxr"
CROSS = "mipsel-linux-gnu-"

TONE_HZ = 787.5  # tone.c's sine: a period of 56 samples
IRQ_HZ = 44100 / 448  # tone.c: one interrupt per loop of 16 blocks of 28 samples (8 periods of 787.5 Hz)
XA_HZ = 37800 / 36  # cd.c's XA tone: mono, 37800 Hz, a period of 36 samples
CDDA_HZ = 44100 / 70  # the CD audio track's tone
AMPLITUDE = 16000  # of every source tone
XA_LBA, XA_SECTORS = 24, 8 * 56  # the XA file: 6 s at 1x speed, one sector in 8 ours
CDDA_SECONDS = 6
HALL_SECONDS = 0xADE0 / 2 / 22050  # cd.c's reverb: its work area holds this much of its 22,050 Hz line
failures = []


def now_ms():  # the clock capture_check --pace times the first sound with
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000


def require(what, condition):
    print("%-72s %s" % (what, "ok" if condition else "FAILED"))
    if not condition:
        failures.append(what)


def report(key, value):
    print("%s=%s" % (key, value if isinstance(value, str) else "%.3f" % value))


# ------------------------------------------------------------------ ADPCM
# SPU and XA ADPCM decode alike: 4-bit sample n of a unit with shift s and
# filter f gives (n << 12 >> s) + (h1 K0[f] + h2 K1[f] + 32 >> 6), clamped to
# 16 bits. XA has the first four filters.
K0, K1 = (0, 60, 115, 98, 122), (0, 0, -52, -55, -60)


def encode_unit(samples, history, filters):
    """28 samples as (filter, shift, nibbles) with the least squared error,
    decoded as the hardware decodes them; `history` [h1, h2] moves on."""
    best = None
    for f in filters:
        for shift in range(13):
            h1, h2 = history
            error, nibbles = 0, []
            for s in samples:
                predicted = (h1 * K0[f] + h2 * K1[f] + 32) >> 6
                n = max(-8, min(7, round((s - predicted) / (1 << (12 - shift)))))
                h1, h2 = max(-32768, min(32767, (n << 12 >> shift) + predicted)), h1
                error += (s - h1) ** 2
                nibbles.append(n & 15)
            if best is None or error < best[0]:
                best = (error, f, shift, nibbles, [h1, h2])
    history[:] = best[4]
    return best[1:4]


def sine(count, period):
    return [round(AMPLITUDE * math.sin(2 * math.pi * i / period)) for i in range(count)]


def looped(encode):
    """Encodes twice, the second time from the history the first left, as a
    loop plays it; returns the second."""
    history = [0, 0]
    return [encode(history) for _ in range(2)][1]


def spu_loop(samples):
    """SPU ADPCM blocks: the first sets the repeat address (flags 6), the
    last jumps there (3)."""
    def encode(history):
        blocks, count = b"", len(samples) // 28
        for b in range(count):
            f, shift, n = encode_unit(samples[28 * b:28 * b + 28], history, range(5))
            flags = 6 if b == 0 else 3 if b == count - 1 else 0
            blocks += bytes([shift | f << 4, flags]) + bytes(n[i] | n[i + 1] << 4 for i in range(0, 28, 2))
        return blocks
    return looped(encode)


def xa_audio(samples):
    """4032 mono samples as 18 XA sound groups of 4-bit units: 16 bytes of
    the 8 units' parameters (each group of 4 twice), then 28 words of 8
    nibbles, one sample of each unit."""
    def encode(history):
        out = b""
        for g in range(18):
            units = [encode_unit(samples[224 * g + 28 * u:][:28], history, range(4)) for u in range(8)]
            params = [shift | f << 4 for f, shift, _ in units]
            out += bytes(params[0:4] * 2 + params[4:8] * 2)
            out += bytes(units[2 * j][2][i] | units[2 * j + 1][2][i] << 4 for i in range(28) for j in range(4))
        return out
    return looped(encode)


# ------------------------------------------------------------------ programs and disc

def build_program(name, work, suffix, *defines):
    elf, exe = os.path.join(work, name + suffix + ".elf"), os.path.join(work, name + suffix + ".exe")
    subprocess.run([CROSS + "gcc", "-march=r3000", "-mfp32", "-msoft-float", "-mno-abicalls", "-fno-pic", "-G0",
                    "-O2", "-ffreestanding", "-nostdlib", "-static", "-no-pie", "-Wl,--build-id=none", "-Wall",
                    "-Wextra", "-Werror", "-I" + work, *defines, "-T", os.path.join(HERE, "psx.ld"),
                    os.path.join(HERE, "crt0.S"), os.path.join(HERE, name + ".c"), "-o", elf], check=True)
    subprocess.run([CROSS + "objcopy", "-O", "binary", elf, exe], check=True)
    return exe


def bcd_time(sectors):  # minutes, seconds, frames of 75 a second, in BCD
    return bytes(n // 10 * 16 + n % 10 for n in (sectors // 4500, sectors // 75 % 60, sectors % 75))


EDC_TABLE = []
for byte in range(256):
    for _ in range(8):
        byte = byte >> 1 ^ (0xD8018001 if byte & 1 else 0)
    EDC_TABLE.append(byte)


def raw_sector(lba, submode, data, file=0, channel=0):
    """A raw Mode 2 sector: sync, header (the disc's time, 2 s ahead of
    sector 0), the subheader twice, then Form 1 (2,048 bytes, the EDC and an
    ECC left zero, which pcsxr does not check) or Form 2 (submode bit 5:
    2,324 bytes and the EDC)."""
    body = bytes([file, channel, submode, 0]) * 2 + data.ljust(2324 if submode & 0x20 else 2048, b"\0")
    edc = 0
    for byte in body:
        edc = edc >> 8 ^ EDC_TABLE[(edc ^ byte) & 0xFF]
    return (b"\0" + b"\xff" * 10 + b"\0" + bcd_time(lba + 150) + b"\2" + body + struct.pack("<I", edc)).ljust(2352, b"\0")


def both(format, n):  # ISO 9660 numbers: little-endian, then big-endian
    return struct.pack("<" + format, n) + struct.pack(">" + format, n)


def dir_record(name, lba, size, flags=0):
    record = bytes([0, 0]) + both("I", lba) + both("I", size) + bytes([125, 1, 1, 0, 0, 0, 0, flags, 0, 0])
    record += both("H", 1) + bytes([len(name)]) + name + b"\0" * (1 - len(name) % 2)
    return bytes([len(record)]) + record[1:]


def build_disc(work, exe):
    """disc.bin and disc.cue: a data track with an ISO 9660 file system
    (SYSTEM.CNF, PSX.EXE, the XA file TONE.XA at XA_LBA), then after a 2 s
    pregap an audio track holding a stereo tone for CDDA_SECONDS."""
    program = open(exe, "rb").read()
    cnf = b"BOOT = cdrom:\\PSX.EXE;1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFF00\r\n"
    exe_lba = XA_LBA + XA_SECTORS
    end = exe_lba + len(program) // 2048
    root = dir_record(b"\0", 20, 2048, 2) + dir_record(b"\1", 20, 2048, 2) + dir_record(
        b"PSX.EXE;1", exe_lba, len(program)) + dir_record(b"SYSTEM.CNF;1", 21, len(cnf)) + dir_record(
        b"TONE.XA;1", XA_LBA, XA_SECTORS * 2048)
    pvd = (b"\1CD001\1\0" + b"PLAYSTATION".ljust(32) + b"SPUZARN".ljust(32) + bytes(8) + both("I", end)
           + bytes(32) + both("H", 1) * 2 + both("H", 2048) + both("I", 10) + struct.pack("<I4x", 18) + struct.pack(">I4x", 19)
           + dir_record(b"\0", 20, 2048, 2)).ljust(881, b" ") + b"\1"
    sectors = {16: pvd.ljust(1024, b"\0") + b"CD-XA001", 17: b"\xffCD001\1", 20: root, 21: cnf,
               18: b"\1\0" + struct.pack("<IH", 20, 1) + b"\0\0", 19: b"\1\0" + struct.pack(">IH", 20, 1) + b"\0\0"}
    sectors.update({exe_lba + i // 2048: program[i:i + 2048] for i in range(0, len(program), 2048)})
    # Channel 0 of file 1 carries the tone in one sector of every 8 (mono
    # 37800 Hz at 1x speed); channels 1-7 are silent. The tone's period
    # divides a sector, so one sector repeats.
    tone = xa_audio(sine(4032, 36))
    with open(os.path.join(work, "disc.bin"), "wb") as out:
        for lba in range(end):
            if XA_LBA <= lba < exe_lba:  # real time, Form 2, audio; the last ends the file
                channel = (lba - XA_LBA) % 8
                out.write(raw_sector(lba, 0x64 | (0x81 if lba == exe_lba - 1 else 0), tone if channel == 0 else b"",
                                     1, channel))
            else:  # data; the last sector of each descriptor set and file ends it
                last = lba in (17, 21, exe_lba - 1, end - 1)
                out.write(raw_sector(lba, 0x08 | (0x81 if last else 0), bytes(sectors.get(lba, b""))))
        out.write(bytes(2352 * 150))
        out.write(b"".join(struct.pack("<hh", s, s) for s in sine(44100 * CDDA_SECONDS, 70)))
    cue = os.path.join(work, "disc.cue")
    with open(cue, "w") as f:
        times = ["%02x:%02x:%02x" % tuple(bcd_time(n)) for n in (end, end + 150)]  # offsets in the file
        f.write('FILE "disc.bin" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n'
                "  TRACK 02 AUDIO\n    INDEX 00 %s\n    INDEX 01 %s\n" % tuple(times))
    return cue


# ------------------------------------------------------------------ pcsxr

def prepare_home(work, library):
    """A private HOME: pcsxr's configuration (with -nogui it must name every
    plugin; key names as pcsxr writes them), its plugin folder with our
    library beside the system's other plugins, and an ~/.asoundrc that makes
    ALSA's default device the file plugin writing into a FIFO."""
    home = os.path.join(work, "home")
    plugins = os.path.join(home, ".pcsxr", "plugins")
    os.makedirs(plugins)
    system = glob.glob("/usr/lib/*/psemu")[0]
    for name in ("libpeopsxgl.so", "libDFCdrom.so", "libBladeSio1.so", "libDFInput.so"):
        os.symlink(os.path.join(system, name), os.path.join(plugins, name))
    os.symlink(os.path.abspath(library), os.path.join(plugins, "libspuZarn.so"))
    with open(os.path.join(home, ".pcsxr", "test.cfg"), "w") as f:
        f.write("Bios = HLE\nGpu = libpeopsxgl.so\nSpu = libspuZarn.so\nCdr = libDFCdrom.so\nSio1 = libBladeSio1.so\n"
                "Pad1 = libDFInput.so\nPad2 = libDFInput.so\nPluginsDir = %s/\n" % plugins)
    fifo = os.path.join(work, "capture.fifo")
    os.mkfifo(fifo)
    with open(os.path.join(home, ".asoundrc"), "w") as f:
        f.write('pcm.!default {\n    type file\n    slave.pcm "null"\n    file "%s"\n    format "wav"\n}\n' % fifo)
    return home, fifo


class Run:
    """One pcsxr run: the lines it prints with their arrival times, the
    pacer of its capture, keys sent to its window."""

    def __init__(self, name, work, env, fifo, check, *arguments):
        self.name, self.work, self.check, self.lines = name, work, check, []
        self.pacer = subprocess.Popen([check, "--pace", fifo, os.path.join(work, name)], stdout=subprocess.PIPE,
                                      text=True)
        self.started = now_ms()
        self.process = subprocess.Popen(["stdbuf", "-oL", PCSXR, "-nogui", "-psxout", "-cfg", "test.cfg", *arguments],
                                        env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, errors="replace")
        self.reader = threading.Thread(target=lambda: self.lines.extend(
            (now_ms(), line.rstrip("\n")) for line in self.process.stdout), daemon=True)
        self.reader.start()

    def wait_for(self, pattern, seconds):
        """The time of the first line matching `pattern`, waiting up to `seconds`; None if none."""
        deadline = time.monotonic() + seconds
        while True:
            found = [at for at, line in list(self.lines) if re.search(pattern, line)]
            if found or time.monotonic() >= deadline or not self.reader.is_alive():
                return found[0] if found else None
            time.sleep(0.05)

    def key(self, name):
        """Holds a key about 0.2 s in pcsxr's window (its input plugin polls
        the keyboard once a frame)."""
        window = subprocess.run(["xdotool", "search", "--name", "^PCSXR"], capture_output=True, text=True).stdout
        if window.split():
            subprocess.run(["xdotool", "windowfocus", "--sync", window.split()[0]])
        subprocess.run(["xdotool", "keydown", name])
        time.sleep(0.2)
        subprocess.run(["xdotool", "keyup", name])

    def finish(self):
        """Escape ends pcsxr, which ignores SIGTERM (it saves slot .010 and
        closes the plugins); then the pacer ends its capture."""
        self.key("Escape")
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            require(self.name + ": pcsxr ends on Escape", False)
        self.reader.join(5)
        self.pacer.send_signal(signal.SIGTERM)
        self.first_sound_ms = float(dict(line.split("=") for line in self.pacer.communicate()[0].split()).get(
            "stream1_first_sound_clock_ms", -1))
        with open(os.path.join(self.work, self.name + ".log"), "w") as log:
            log.writelines("%.1f %s\n" % (at - self.started, line) for at, line in self.lines)

    def capture(self):
        return os.path.join(self.work, self.name + "-1.wav")

    def measure(self, *options):
        out = subprocess.run([self.check, *options], capture_output=True, text=True).stdout
        return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)

    def reports(self, since=0):
        """tone.c's twice-a-second lines: (time, frame, interrupts, RAM ok, registers ok)."""
        found = [(at, *map(int, m.groups())) for at, line in self.lines
                 if (m := re.search(r"frame (\d+) irqs (\d+) ram (\d) registers (\d)", line))]
        return [r for r in found if r[0] >= since]


# ------------------------------------------------------------------ the runs

def check_tone(run, since, level):
    """A tone run from `since` on: the program's reports and the capture at
    `level`; returns the capture's figures."""
    seen = run.reports(since)
    require(run.name + ": the program reports", len(seen) >= 4)
    if len(seen) < 4:
        return {}
    require(run.name + ": sound RAM and registers as the program wrote them", all(r[3] and r[4] for r in seen))
    # The plugin raises the loop's interrupts as a sound-thread pass mixes
    # its frames; those of one pass set I_STAT's bit together, so the program
    # sees at most one a pass (15-20 ms apart through the capture).
    first, last = seen[1], seen[-1]  # the first may follow the burst that fills the stream
    rate = (last[2] - first[2]) * 1000 / (last[0] - first[0])
    report(run.name + "_irqs_seen_per_second", rate)
    require(run.name + ": the SPU interrupt seen every half second, 20 to %.1f a second" % IRQ_HZ,
            all(b[2] > a[2] for a, b in zip(seen, seen[1:])) and 20 <= rate <= IRQ_HZ * 1.02)
    segments = run.measure("--segments", run.capture())
    tone = {key: float(segments.get("segment1_" + key, 0)) for key in ("hz", "level", "seconds", "gaps", "jumps")}
    for key in ("hz", "level", "seconds"):
        report(run.name + "_" + key, tone[key])
    require(run.name + ": the tone at 787.5 Hz, 2 s or more without gaps or jumps after the attack",
            segments.get("segments") == "1" and abs(tone["hz"] / TONE_HZ - 1) <= 0.01 and tone["seconds"] >= 2
            and tone["gaps"] == tone["jumps"] == 0)
    require(run.name + ": its level %.0f, to 2 %%" % level, abs(tone["level"] / level - 1) < 0.02)
    return tone


def tone_level(console):
    """tone.c's level in the capture. The standard envelope holds at 30719
    at sustain level 15. The console's four-point interpolation weighs the
    last four samples 0x12C7, 0x59B3, 0x1307, -1 (/0x8000) at pitch 0x1000;
    its envelope holds at 0x3FFF, as decay at rate 0 halves it in the tick
    before sustain level 15 is reached; volumes 0x3FFF are 0x7FFE there."""
    if not console:
        return AMPLITUDE * 30719 / 32768 * (16383 / 16384) ** 2
    w = 2 * math.pi * TONE_HZ / 44100
    gain = abs(sum(g * cmath.exp(-1j * w * k) for k, g in enumerate((0x12C7, 0x59B3, 0x1307, -1)))) / 0x8000
    return AMPLITUDE * gain * 0x3FFF / 0x8000 * (0x7FFE / 0x8000) ** 2


def check_console_registers(run):
    """The lines of tone.c's ConsoleRegisters."""
    text = "\n".join(line for _, line in run.lines)
    hex_groups = lambda m: m and [int(g, 16) for g in m.groups()]
    stat = [hex_groups(m) for m in re.finditer(r"spucnt (\w+) spustat (\w+)", text)]
    require(run.name + ": SPUSTAT bits 0-5 follow SPUCNT", len(stat) == 4 and all((c ^ s) & 0x3F == 0 for c, s in stat))
    endx = hex_groups(re.search(r"endx keyon (\w+) loop (\w+) written (\w+) keyon (\w+)", text))
    require(run.name + ": ENDX 0 after key-on, 1 after a loop end, kept by a write of 0, cleared by key-on",
            endx == [0, 1, 1, 0])
    # SPUSTAT bit 6 alone: bit 11 follows the capture position, as tone.c's
    # transfer control word lets it.
    clear = hex_groups(re.search(r"bit6 clear irq (\w) spustat (\w+)", text))
    require(run.name + ": no interrupt nor SPUSTAT bit 6 for half a second while SPUCNT bit 6 is clear",
            clear is not None and clear[0] == 0 and clear[1] & 0x40 == 0)
    rounds = [hex_groups(m) for m in re.finditer(r"bit6 set irq (\w) spustat (\w+) acknowledged (\w+)", text)]
    require(run.name + ": bit 6 set: the interrupt and SPUSTAT bit 6; bit 6 cleared: SPUSTAT bit 6 clear; twice",
            [[irq, raised & 0x40, acknowledged & 0x40] for irq, raised, acknowledged in rounds] == [[1, 0x40, 0]] * 2)


def check_console_record(run):
    """The SPU's record in F1's state file (gzip): "TOVRA", its size, its extension's tag."""
    path = re.search(r"Saved state (.*\.000)", "\n".join(line for _, line in run.lines)).group(1)
    with gzip.open(path) as f:
        state = f.read()
    at = state.find(b"TOVRA\0")
    size = struct.unpack_from("<I", state, at + 12)[0] if at >= 0 else 0
    report("console_state_record_bytes", "%d" % size)
    require("console_tone: F1 stored the extended record, 766,264 bytes whole, its extension tagged CONSOLE",
            size == 766264 and len(state) >= at + size and state[at + 558640:at + 558648] == b"CONSOLE\0")


def run_tone_and_load(work, env, fifo, check, exe, console):
    prefix = "console_" if console else ""
    run = Run(prefix + "tone", work, env, fifo, check, exe)
    keyon = run.wait_for(r"keyon$", 20)
    require(run.name + ": the program starts, finds the sine in sound RAM by DMA, keys on",
            keyon is not None and run.wait_for(r"ram 1 registers 1$", 1) is not None)
    saved = None
    if keyon is not None:
        time.sleep(3)
        run.key("F1")
        saved = run.wait_for(r"Saved state .*\.000", 5)
        require(run.name + ": F1 saves a state", saved is not None)
        time.sleep(1)
    run.finish()
    if console:
        check_console_registers(run)
    if keyon is None or saved is None:
        return
    if console:
        check_console_record(run)
    before = check_tone(run, keyon, tone_level(console))
    report(prefix + "keyon_to_sound_ms", run.first_sound_ms - keyon)
    require(run.name + ": first sound within 250 ms of key-on", 0 < run.first_sound_ms - keyon < 250)
    at_save = max([r[1] for r in run.reports() if r[0] < saved], default=0)

    # The state at start-up: the program goes on where it was saved.
    run = Run(prefix + "load", work, env, fifo, check, "-load", "1", exe)
    if run.wait_for(r"frame \d+", 20) is not None:
        time.sleep(3)
    run.finish()
    after = check_tone(run, 0, tone_level(console))
    seen = run.reports()
    require(run.name + ": the program goes on from the saved state, not from its start",
            seen and seen[0][1] >= at_save and not any("keyon" in line for _, line in run.lines))
    if console:  # tone.c wrote key-on 0 after its key-on: no replay can have started the voice
        same = all(abs(after.get(k, 0) / before.get(k, 1) - 1) < 0.01 for k in ("hz", "level"))
        require(run.name + ": the voice goes on from the extended record, frequency and level as saved, to 1 %", same)


def energies(path):
    """The mean square of a 16-bit stereo capture (mixed to one channel) in
    windows of 10 ms: window i covers i / 100 s on."""
    data = open(path, "rb").read()
    channels, bits = struct.unpack_from("<H", data, 22)[0], struct.unpack_from("<H", data, 34)[0]
    assert (channels, bits) == (2, 16), "a capture of 16-bit stereo"
    pairs = struct.unpack("<%dh" % ((len(data) - 44) // 4 * 2), data[44:44 + (len(data) - 44) // 4 * 4])
    x = [(pairs[i] + pairs[i + 1]) / 2 for i in range(0, len(pairs), 2)]
    return x, [sum(v * v for v in x[i:i + 441]) / 441 for i in range(0, len(x) - 440, 441)]


def check_reverb(run, get, until, e):
    """cd.c's notes into the Hall reverb, its return at 0, then at one half
    (segments 1 and 2; a long tail may come in pieces): how long after each
    key-off, and before `until`, the energy stays within 40 dB of the
    note's. The notes last equally long (30 frames)."""
    note = get(1, "seconds")
    tails = []
    for n, end in ((1, get(2, "from_s")), (2, until)):
        on, off = round(get(n, "from_s") * 100), round((get(n, "from_s") + note) * 100)
        level = sum(e[on:off]) / max(1, off - on)
        loud = [i for i in range(off, round(end * 100) - 10) if e[i] >= level / 1e4]
        tails.append(((loud[-1] + 1 if loud else off) - off) / 100)
    report(run.name + "_note_seconds", note)
    report(run.name + "_dry_tail_seconds", tails[0])
    report(run.name + "_reverb_tail_seconds", tails[1])
    require(run.name + ": the note with the reverb's return at 0 stops at its key-off (30 frames, 0.6 s at most)",
            note <= 0.6 and tails[0] < 0.05)
    require(run.name + ": with the return at one half it rings on, 40 dB down after %.1f-%.1f s (Hall's line %.2f s)"
            % (HALL_SECONDS / 2, HALL_SECONDS * 3, HALL_SECONDS), HALL_SECONDS / 2 <= tails[1] <= HALL_SECONDS * 3)


def images_db(x, begin, seconds, hz, level):
    """The power of the images that repeating samples of a tone of `hz` from
    37,800 Hz up to 44,100 Hz leaves (at 6,300 k +- hz, k = 1..3: the
    pattern repeats every 7 output frames) against the tone's, in dB: the
    median over Hann windows of 0.1 s, every 0.05 s, that hold no gap (pcsxr
    falls behind now and then, and a gap's edges splash over the spectrum):
    in each 0.5 ms, longer than the tone's half period, the tone reaches half
    its `level`. None without such a window."""
    n = 4410
    hann = [0.5 - 0.5 * math.cos(2 * math.pi * i / n) for i in range(n)]
    figures = []
    for start in range(round((begin + 0.1) * 44100), round((begin + seconds - 0.1) * 44100) - n, n // 2):
        y = x[start:start + n]
        if min(max(abs(v) for v in y[i:i + 22]) for i in range(0, n - 21, 22)) < level / 2:
            continue
        y = [v * w for v, w in zip(y, hann)]

        def power(f):  # Goertzel
            c, s1, s2 = 2 * math.cos(2 * math.pi * f / 44100), 0.0, 0.0
            for v in y:
                s1, s2 = v + c * s1 - s2, s1
            return s1 * s1 + s2 * s2 - c * s1 * s2
        figures.append(10 * math.log10(sum(power(6300 * k + d * hz) for k in (1, 2, 3) for d in (-1, 1)) / power(hz)))
    return statistics.median(figures) if figures else None


def run_cd(work, env, fifo, check, exe, console, standard_images):
    """The cd program's run; returns its XA images figure."""
    prefix = "console_" if console else ""
    run = Run(prefix + "cd", work, env, fifo, check, "-cdfile", build_disc(work, exe))
    done = run.wait_for(r"^ \* done", 50)
    require(run.name + ": the program plays the notes, XA and the CD audio track and ends", done is not None)
    run.finish()
    if done is None:
        return None
    segments = run.measure("--segments", run.capture())
    get = lambda n, key: float(segments.get("segment%d_%s" % (n, key), 0))
    count = int(segments.get("segments", 0))
    at = lambda hz: [n for n in range(1, count + 1) if abs(get(n, "hz") / hz - 1) < 0.01]
    xa, cdda = at(XA_HZ), at(CDDA_HZ)
    x, e = energies(run.capture())
    # The segments: the two notes, XA, the CD audio track. In the console
    # model XA comes in two, apart where SPUCNT bit 0 was clear.
    if console:
        require("console_cd: the notes, then XA in two parts, then the CD audio track",
                len(xa) == 2 and xa[1] == xa[0] + 1 and cdda == [xa[1] + 1])
        if len(xa) != 2 or len(cdda) != 1:
            return None
        check_reverb(run, get, get(xa[0], "from_s"), e)
        silent = get(xa[1], "from_s") - get(xa[0], "from_s") - get(xa[0], "seconds")
        report("console_xa_silent_seconds", silent)
        require("console_cd: XA silent while SPUCNT bit 0 is clear (60 frames)", 0.8 <= silent <= 1.25)
        # The CD volumes and the main volume alone, and for XA the zigzag
        # tables' gain of 0.904 at low frequencies.
        level = AMPLITUDE * 32767 / 32768 * 32766 / 32768
        parts = (("xa", XA_HZ, 300, xa[1], 1.5, level * 0.904), ("cdda", CDDA_HZ, 240, cdda[0], 3, level))
    else:
        require("cd: the notes, XA, the CD audio track and nothing else", count == 4 and xa == [3] and cdda == [4])
        level = AMPLITUDE * 32767 / 32768 * 0.75 * 16383 / 16384  # CD volume, XAVolume 75 %, main volume
        parts = (("xa", XA_HZ, 300, 3, 3, level), ("cdda", CDDA_HZ, 240, 4, 3, level))
    # pcsxr delivers CD audio at the pace it emulates, below real time here
    # (55-59 frames a second): the ring then runs dry now and then. Gaps are
    # judged against that shortfall, measured over each part (300 and 240
    # frames of 60 a second), and the tones over the stretches between them.
    times = [run.wait_for(pattern, 0) for pattern in (r"^ \* xa", r"^ \* cdda")] + [done]
    for n, (what, hz, frames, segment, seconds, expected) in enumerate(parts, 1):
        for key in ("hz", "level", "seconds", "gap_percent", "gaps"):
            report("%s%s_%s" % (prefix, what, key), get(segment, key))
        shortfall = max(0, 100 - frames * 1000 / 60 / (times[n] - times[n - 1]) * 100)
        report(prefix + what + "_emulator_shortfall_percent", shortfall)
        require("%s: %s at %.1f Hz to 1 %%, level %.0f to 3 %%" % (run.name, what, hz, expected),
                abs(get(segment, "hz") / hz - 1) < 0.01 and abs(get(segment, "level") / expected - 1) < 0.03)
        require("%s: %s for %g s or more, gaps at most 3 %% beyond pcsxr's shortfall" % (run.name, what, seconds),
                get(segment, "seconds") >= seconds and get(segment, "gap_percent") <= shortfall + 3)
    segment, expected = parts[0][3], parts[0][5]
    images = images_db(x, get(segment, "from_s"), get(segment, "seconds"), XA_HZ, expected)
    report(prefix + "xa_images_db", "%.1f" % images if images is not None else "none")
    if console:
        require("console_cd: XA's images of sample repeating at least 20 dB below the standard model's",
                None not in (images, standard_images) and images <= standard_images - 20)
    return images


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--library", "--check", "--spuhost", "--work"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    missing = [tool for tool in (PCSXR, CROSS + "gcc", "xdotool", "xvfb-run", "stdbuf") if shutil.which(tool) is None]
    if missing:  # scripts/test, which installs them, sets SPUZARN_REQUIRE_EMULATOR: there it fails
        print("emulator test skipped: no %s (scripts/setup emulator installs them)" % ", ".join(missing))
        return 1 if os.environ.get("SPUZARN_REQUIRE_EMULATOR") else 77
    if os.environ.get("SPUZARN_EMULATOR_DISPLAY") != "1":  # always on a virtual display of its own
        os.environ["SPUZARN_EMULATOR_DISPLAY"] = "1"
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 640x480x24 -nolisten tcp", sys.executable,
                               os.path.abspath(__file__), *sys.argv[1:]])
    started = time.monotonic()
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    words = spu_loop(sine(448, 56))
    with open(os.path.join(work, "sine.h"), "w") as out:
        out.write("static const u16 kSine[] = {%s};\n" % ", ".join(
            "0x%04X" % v for v in struct.unpack("<%dH" % (len(words) // 2), words)))
    home, fifo = prepare_home(work, args.library)
    # Each model's settings in a folder of its own: the standard model's
    # defaults, or "ConsoleAccurate" 1 as spuhost saves it.
    cd = build_program("cd", work, "", "-DXA_LBA=%d" % XA_LBA)
    images = None  # the standard model's, for the console model's
    for console in (False, True):
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "console" if console else "standard"))
        if console:
            subprocess.run([args.spuhost, "settings", "ConsoleAccurate=1"], env=env, check=True,
                           stdout=subprocess.DEVNULL)
        tone = build_program("tone", work, "_console" * console, *["-DCONSOLE"] * console)
        run_tone_and_load(work, env, fifo, args.check, tone, console)
        images = run_cd(work, env, fifo, args.check, cd, console, images)
    report("run_seconds", time.monotonic() - started)
    print("emulator test " + ("FAILED: " + "; ".join(failures) if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
