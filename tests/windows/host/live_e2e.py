#!/usr/bin/env python3
"""End to end under Wine: a live show. A private PulseAudio server
(tools/with-pulse) is the computer's audio: paplay plays a bass drum into its
null sink, and the stand-in captures the sink's monitor (--capture) through
Wine's WASAPI and plays it through the registered plug-in into the virtual
controller (tools/with-vctl).

usage: live_e2e.py ARCH WINE_RUN HOST_EXE DLL

Checks the show on the wire (order, framing, the beat, silence), its
summary, and the errors: loopback (not implemented by Wine), no device, a
device name that matches none, Ctrl+C, and the device going away mid-run.
Everything started here is stopped by its process id, pass or fail."""
import math
import os
import re
import signal
import struct
import subprocess
import sys
import time
import uuid
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from e2e import check, finish, vctl_messages, windows_path  # noqa: E402

arch, wine_run, host, dll = sys.argv[1:5]
if arch == "i686" and os.environ.get("TWINKLA_RUNS_32BIT") == "no":
    print("live_e2e: skipped, this machine can't run 32-bit programs")
    sys.exit(77)
port = os.environ["TWINKLA_TEST_PORT"]
log_path = os.environ["TWINKLA_VCTL_LOG_UNIX"]
work = os.environ["TWINKLA_PULSE_DIR"]
sink = os.environ["TWINKLA_PULSE_SINK"]
started = []  # (Popen, marker) of everything running in the background




def run(*args, env=None):
    return subprocess.run([wine_run, *args], capture_output=True, text=True, timeout=300,
                          env=env)


class Background:
    """The stand-in running in the background. Wine may run the program in
    a process of its own (64-bit programs started by a Unix path go through
    start.exe), so the program's process is found by a marker in its
    environment."""

    def __init__(self, name, *args):
        self.marker = uuid.uuid4().hex
        env = dict(os.environ, TWINKLA_LIVE_TEST_RUN=self.marker)
        self.out = open(os.path.join(work, name + ".out"), "w+", newline="")
        self.err = open(os.path.join(work, name + ".err"), "w+", newline="")
        self.process = subprocess.Popen([wine_run, host, *args], stdout=self.out,
                                        stderr=self.err, env=env)
        started.append(self)

    def wait_for(self, text, seconds=120):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and self.process.poll() is None:
            with open(self.err.name) as f:
                if text in f.read():
                    return True
            time.sleep(0.05)
        return False

    def program_pids(self):
        needle = ("TWINKLA_LIVE_TEST_RUN=" + self.marker).encode()
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read()
            except OSError:
                continue
            if needle in environ and b"twinkla-host.exe" in cmdline and \
                    not cmdline.startswith(b"start.exe"):
                pids.append(int(entry))
        return pids

    def signal(self, number):
        pids = self.program_pids()
        for pid in pids:
            os.kill(pid, number)
        return bool(pids)

    def finish(self, seconds=60):
        try:
            self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.stop()
        self.out.seek(0)
        self.err.seek(0)
        return self.process.returncode, self.out.read(), self.err.read()

    def stop(self):
        if self.process.poll() is None:
            self.signal(signal.SIGKILL)
            self.process.kill()
            self.process.wait()


def stop_everything():
    for b in started:
        b.stop()
    for p in players:
        if p.poll() is None:
            p.kill()
            p.wait()


players = []


def play(path):
    p = subprocess.Popen(["paplay", "-d", sink, "--latency-msec=10", path],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    players.append(p)
    return p


def bass_drum_wav(path, beats=8, rate=44100):
    """A 60 Hz drum every 0.5 s: 0.15 s sounding, then digital silence."""
    frames = bytearray()
    for i in range(int(beats * 0.5 * rate)):
        t = (i % (rate // 2)) / rate
        v = 0.8 * math.sin(2 * math.pi * 60 * t) * math.exp(-t / 0.06) if t < 0.15 else 0.0
        s = int(v * 32767)
        frames += struct.pack("<hh", s, s)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def summary(stdout):
    values = {}
    for line in stdout.splitlines():
        m = re.match(r"(frames rendered|frames skipped): (\d+)$", line)
        if m:
            values[m.group(1)] = int(m.group(2))
        m = re.match(r"latency ms: median ([\d.]+) p99 ([\d.]+) max ([\d.]+)$", line)
        if m:
            values["latency"] = [float(x) for x in m.groups()]
    return values


def stored_settings():
    return run("reg", "query", "HKCU\\Software\\Twinkla", "/s").stdout


def live_show():
    offset = os.path.getsize(log_path)
    drum = os.path.join(work, "drum.wav")
    bass_drum_wav(drum)
    frame_log = os.path.join(work, "frames.log")
    show = Background("show", "--capture", "TwinklaTest", "--seconds", "8", "--preset", "2",
                      "--port", port, "--device", "9", "--frame-log", windows_path(frame_log))
    check(show.wait_for("twinkla-host: live from"), "the live show starts")
    player = play(drum)
    player.wait(timeout=60)
    status, out, err = show.finish()
    print(out, err.replace("\r", "\n")[-600:])
    check(status == 0, "the live show ends by itself after 8 s (status %s)" % status)
    check(re.search(r"\rframe \d+  latency [\d.]+ ms  skipped \d+", err),
          "the progress line shows the latency")
    s = summary(out)
    rendered = s.get("frames rendered", 0)
    slots = rendered + s.get("frames skipped", 0)
    check(slots == 240, "8 s at 30 frames a second are 240 slots (got %d)" % slots)
    latency = s.get("latency", [])
    check(len(latency) == 3 and 0 < latency[0] < 500 and latency[0] <= latency[1] <= latency[2],
          "the latency summary is printed and its median is plausible (%s)" % latency)

    messages = vctl_messages(log_path, offset)
    framing = [m for m in messages if m[0] == "FRAMING"]
    levels = [m[1] for m in messages if m[0] == "LEVEL"]
    check(not framing, "no framing errors (got %d)" % len(framing))
    check(len(levels) == 16 * rendered, "16 commands per frame (got %d for %d frames)" %
          (len(levels), rendered))
    check(all(int(levels[i]["ch"]) == i % 16 for i in range(len(levels))),
          "every frame's commands arrive in channel order")
    check(all(l["dev"] == "9" for l in levels), "every command carries the run's device id 9")

    # The frame log joined with the controller's stamps: audio to light.
    this_run = os.path.join(work, "vctl-this-run.log")
    with open(log_path, "rb") as full, open(this_run, "wb") as part:
        full.seek(offset)
        part.write(full.read())
    tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools")
    joined = subprocess.run([os.path.join(tools, "light-latency"), frame_log, this_run],
                            capture_output=True, text=True)
    print(joined.stdout, joined.stderr)
    light = re.search(r"audio to light ms: median ([\d.]+) p99 ([\d.]+) max ([\d.]+)",
                      joined.stdout)
    check(joined.returncode == 0 and light and 0 < float(light.group(1)) < 500,
          "every frame's capture time joins its commands' arrival (%s)" % joined.stdout.strip())

    # The lowest band (channel 0) over time: high on each drum beat, low in
    # the silent half-second between two.
    frames = [levels[i:i + 16] for i in range(0, len(levels) - 15, 16)]
    t = [f[0]["t"] / 1000.0 for f in frames]
    bass = [int(f[0]["level"]) for f in frames]
    # A beat starts after a quiet stretch; a dip within one beat's decay
    # (capture packets arriving unevenly) isn't another beat.
    onsets = [i for i in range(1, len(bass)) if bass[i] >= 50 and max(bass[max(0, i - 3):i]) < 50]
    print("channel 0:", bass)
    check(len(onsets) == 8, "8 beats light the bass channel (got %d)" % len(onsets))
    gaps = [t[b] - t[a] for a, b in zip(onsets, onsets[1:])]
    check(gaps and all(0.35 < g < 0.65 for g in gaps), "beats 0.5 s apart (got %s)" %
          ["%.2f" % g for g in gaps])
    on_beat = [max(bass[i:i + 4]) for i in onsets]
    between = [bass[j] for i in onsets for j in range(len(t)) if 0.28 < t[j] - t[i] < 0.42]
    check(between and min(on_beat) > max(between) + 40,
          "the bass channel is brighter on the beats (%s) than between them (%s)" %
          (on_beat, between))
    # The last second is silence: every light goes down.
    tail = frames[-30:]
    check(len(tail) == 30 and all(int(l["level"]) == 0 for f in tail for l in f),
          "silence after the drum brings every channel to 0")


def errors_and_ctrl_c():
    loopback = run(host, "--live", "--quiet", "--port", port)
    check(loopback.returncode == 6 and "loopback capture isn't available" in loopback.stderr,
          "--live reports that loopback capture isn't available (Wine has none): %s" %
          loopback.stderr.strip())

    unknown = run(host, "--capture", "NoSuchDevice", "--quiet", "--port", port)
    check(unknown.returncode == 6 and
          "no recording device's name contains \"NoSuchDevice\"" in unknown.stderr,
          "a device name that matches none is a clear error")

    # No server: Wine falls back to its other drivers, which find nothing.
    nothing = dict(os.environ, PULSE_SERVER="unix:" + os.path.join(work, "no-server"))
    absent = run(host, "--capture", "--quiet", "--port", port, env=nothing)
    check(absent.returncode == 6 and "twinkla-host: no recording device\n" in absent.stderr,
          "no recording device at all is a clear error: %s" % absent.stderr.strip()[-200:])
    listed = run(host, "--list-devices", env=nothing)
    check(listed.returncode == 0 and listed.stdout.count("(none)") == 2,
          "with no devices, --list-devices says so for both kinds")

    show = Background("ctrl-c", "--capture", "--quiet", "--port", port)
    check(show.wait_for("twinkla-host: live from"), "the show to interrupt starts")
    time.sleep(1.5)
    check(show.signal(signal.SIGINT), "the stand-in's Wine process is found")
    status, out, err = show.finish(seconds=20)
    s = summary(out)
    check(status == 0 and s.get("frames rendered", 0) > 10 and "latency" in s,
          "Ctrl+C ends a live show cleanly with its summary (status %s)" % status)


def device_goes_away():
    modules = subprocess.run(["pactl", "list", "short", "modules"], capture_output=True,
                             text=True).stdout
    sink_module = [l.split()[0] for l in modules.splitlines() if "module-null-sink" in l]
    show = Background("unplug", "--capture", "TwinklaTest", "--quiet", "--port", port)
    check(show.wait_for("twinkla-host: live from"), "the show to unplug starts")
    time.sleep(1.0)
    subprocess.run(["pactl", "unload-module", sink_module[0]], check=True)
    unplugged = time.monotonic()
    status, out, err = show.finish(seconds=20)
    ended = time.monotonic() - unplugged
    print(out, err)
    check(status == 6 and "\"Monitor of TwinklaTest\" went away (unplugged or disabled)" in err,
          "a device that goes away ends the show with a message (status %s)" % status)
    check(ended < 10, "... promptly, not a hang (%.1f s)" % ended)
    check("frames rendered:" in out, "... with its summary")


try:
    reg = run("regsvr32", "/s", windows_path(dll))
    check(reg.returncode == 0, "regsvr32 registers the plug-in")
    listed = run(host, "--list-devices")
    print(listed.stdout)
    # Without the server Wine would fall back to a driver with no devices.
    check("Monitor of TwinklaTest" in listed.stdout,
          "Wine's audio reaches the private PulseAudio server")
    run(host, "--frames", "1", "--fast", "--quiet")  # settings are stored
    settings_before = stored_settings()
    live_show()
    errors_and_ctrl_c()
    device_goes_away()
    check(stored_settings() == settings_before,
          "the run's port and device id leave the stored settings as they were")
finally:
    stop_everything()

finish()
