#!/usr/bin/env python3
"""End to end under Wine: the player stand-in plays a short clip through the
registered plug-in into the virtual controller (run under tools/with-vctl).

usage: host_e2e.py WINE_RUN HOST_EXE DLL

Checks that every frame's commands arrive whole and in channel order with the
run's device id, that the bass drum lifts the lowest band's channel on the
beat, and that a malformed WAV file is refused with a clear error."""
import os
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from e2e import check, check_same, finish, vctl_messages, windows_path  # noqa: E402

wine_run, host, dll = sys.argv[1:4]
if subprocess.run([wine_run, "--can-run", host]).returncode == 77:
    print("skipped: the stand-in is a 32-bit program and 32-bit programs can't run here")
    sys.exit(77)
port = os.environ["TWINKLA_TEST_PORT"]
log_path = os.environ["TWINKLA_VCTL_LOG_UNIX"]




def run(*args):
    return subprocess.run([wine_run, *args], capture_output=True, text=True, timeout=600)


reg = run("regsvr32", "/s", windows_path(dll))
check(reg.returncode == 0, "regsvr32 registers the plug-in")

def stored_settings():
    return run("reg", "query", "HKCU\\Software\\Twinkla", "/s").stdout


# Make sure settings are stored, so that the run below loads them.
run(host, "--frames", "1", "--fast", "--quiet")
settings_before = stored_settings()

# 3 s of the built-in clip at 30 frames a second, in real time: a line that
# keeps up carries every command of every frame (frames handed over faster
# than the line would merge to the newest levels), delayed ones too: the
# stand-in lets go of the plug-in, which writes what waits before it closes.
offset = os.path.getsize(log_path)
played = run(host, "--seconds", "3", "--fps", "30", "--quiet", "--preset", "2",
             "--port", port, "--device", "7", "--light-delay", "250")
print(played.stdout, played.stderr)
check(played.returncode == 0, "the stand-in plays the clip")
frames = 0
for line in played.stdout.splitlines():
    if line.startswith("frames rendered:"):
        frames = int(line.split(":")[1])
check(frames == 90, "90 frames for 3 s at 30 frames a second (got %d)" % frames)

check(stored_settings() == settings_before,
      "the port, device id and light delay given for the run leave the stored settings as "
      "they were")
check("Port" in settings_before and "Channel15" in settings_before,
      "settings were stored before the run")

messages = vctl_messages(log_path, offset)
framing = [m for m in messages if m[0] == "FRAMING"]
levels = [m[1] for m in messages if m[0] == "LEVEL"]
check(not framing, "no framing errors (got %d)" % len(framing))
check(len(levels) == 16 * frames, "16 commands per frame (got %d)" % len(levels))
in_order = all(int(levels[i]["ch"]) == i % 16 for i in range(len(levels)))
check(in_order, "every frame's commands arrive in channel order")
check(all(l["dev"] == "7" for l in levels), "every command carries the run's device id 7")

# Beats fall every 0.5 s, that is every 15 frames. Channel 0 (the lowest band)
# is brighter on the beat than two thirds of the way to the next one.
channel0 = [int(levels[i]["level"]) for i in range(0, len(levels), 16)]
if len(channel0) == 90:
    on_beat = [channel0[b] for b in range(15, 90, 15)]
    between = [channel0[b + 10] for b in range(15, 75, 15)]
    print("channel 0 on the beat:", on_beat, "between beats:", between)
    check(min(on_beat) > max(between),
          "the bass drum lifts the lowest band's channel on every beat")

# Stored values the run overrides come back exactly as they were, whatever
# their size or type: a port name of 70 characters outside the ANSI code page
# and a device id stored as 100 bytes.
def exported_settings():
    with tempfile.TemporaryDirectory() as export:
        path = os.path.join(export, "settings.reg")
        run("reg", "export", "HKCU\\Software\\Twinkla", windows_path(path), "/y")
        with open(path, "rb") as exported:
            return exported.read()


run("reg", "add", "HKCU\\Software\\Twinkla", "/v", "Port", "/t", "REG_SZ", "/d",
    "\u041f\u043e\u0440\u0442" * 17 + "COM3", "/f")
run("reg", "add", "HKCU\\Software\\Twinkla", "/v", "Device", "/t", "REG_BINARY", "/d",
    "07" * 100, "/f")
odd_before = exported_settings()
odd = run(host, "--frames", "3", "--fast", "--quiet", "--port", port, "--device", "7")
check(odd.returncode == 0, "the stand-in plays over stored values of any size and type")
odd_after = exported_settings()
check(b"P\x00o\x00r\x00t" in odd_before and odd_after == odd_before,
      "a long Unicode port name and a 100-byte device id are restored exactly")
run("reg", "add", "HKCU\\Software\\Twinkla", "/v", "Port", "/t", "REG_SZ", "/d", "COM1", "/f")
run("reg", "add", "HKCU\\Software\\Twinkla", "/v", "Device", "/t", "REG_BINARY", "/d", "01",
    "/f")

# A network output for one run: sACN to 127.0.0.2, a loopback address only
# this test listens on, so no other run's receiver hears it. The serial port
# stays shut, and the stored output comes back afterwards.
receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
try:
    receiver.bind(("127.0.0.2", 5568))
except OSError as error:
    print("note: the packets aren't checked: 127.0.0.2:5568 is taken (%s)" % error)
    receiver.close()
    receiver = None
offset = os.path.getsize(log_path)
net_before = exported_settings()
# In real time: frames handed over faster than the output sends would merge
# into fewer packets, newest levels first.
net = run(host, "--frames", "10", "--quiet", "--port", port, "--output", "sacn",
          "--address", "127.0.0.2", "--universe", "9", "--start-channel", "4")
check(net.returncode == 0, "the stand-in plays to an sACN receiver")
check(not vctl_messages(log_path, offset), "the serial port stays shut while the output is sACN")
check(exported_settings() == net_before,
      "the output, address, universe and start channel given for the run are restored")
if receiver is not None:
    receiver.settimeout(2)
    packets = []
    try:
        while True:
            packets.append(receiver.recv(1500))
    except socket.timeout:
        pass
    receiver.close()
    data = [p for p in packets if p[112] == 0]
    check(len(data) >= 10 and all(p[113:115] == b"\x00\x09" and len(p) == 126 + 19 for p in data),
          "every frame reached the receiver in universe 9, slots 1 to 19 (got %d)" % len(data))
    check(len(packets) - len(data) == 3, "the stream ends with three stream-terminated packets")
for args, words in ((["--output", "dmx"], "--output needs serial, sacn or artnet"),
                    (["--address", "my lights"], "--address needs an IPv4 address"),
                    (["--address", "10.0.0.256"], "--address needs an IPv4 address"),
                    (["--output", "sacn", "--universe", "0"], "--universe: sACN's are 1..63999"),
                    (["--output", "artnet", "--universe", "32768"], "Art-Net's"),
                    (["--start-channel", "513"], "--start-channel needs a number")):
    refused = run(host, "--quiet", *args)
    check(refused.returncode == 1 and words in refused.stderr,
          "%s is refused before anything is loaded" % " ".join(args))

# Windowed mode through a real window, and frames written as PNG images.
windowed = run(host, "--windowed", "--frames", "10", "--fast", "--quiet", "--port", port)
check(windowed.returncode == 0 and "frames rendered: 10" in windowed.stdout,
      "windowed mode renders through Create and RenderWindowed")
with tempfile.TemporaryDirectory() as pngs:
    written = run(host, "--frames", "6", "--fast", "--quiet", "--png-every", "2",
                  "--png-dir", windows_path(pngs))
    names = sorted(os.listdir(pngs))
    check(written.returncode == 0 and names == ["frame00000.png", "frame00002.png",
                                                "frame00004.png"],
          "every second frame is written as a PNG image (got %s)" % names)
    for name in names:
        with open(os.path.join(pngs, name), "rb") as png:
            header = png.read(24)
        check(header[:8] == b"\x89PNG\r\n\x1a\n" and header[16:24] == bytes(
            [0, 0, 4, 0, 0, 0, 1, 0]), "%s is a 1024 x 256 PNG image" % name)

# A malformed WAV file: a clear error and a non-zero exit, no crash.
with tempfile.NamedTemporaryFile(suffix=".wav", delete=False) as bad:
    bad.write(b"RIFF\x10\x00\x00\x00WAVEfmt \xff\xff\xff\x7f")
refused = run(host, "--quiet", "--port", port, windows_path(bad.name))
os.unlink(bad.name)
print(refused.stderr)
check(refused.returncode == 2, "a malformed WAV file exits with status 2")
check("format chunk runs past the end of the file" in refused.stderr,
      "the error names what is wrong with the file")

refused = run(host, "--quiet", "--port", "COM1234567890123456789")
check(refused.returncode == 1 and "--port needs a name like COM1" in refused.stderr,
      "a port name the plug-in couldn't store is refused before anything is loaded")

missing = run(host, "--quiet", "Z:\\nonexistent\\clip.wav")
check(missing.returncode == 2 and "cannot open the file" in missing.stderr,
      "a missing WAV file is a clear error")

# A start that can't read the stored settings (Channel9 gone) keeps a copy of
# them, byte for byte, before it resets them; a run's --port and --device stay
# out of it. --restore-backup puts the copy back, after which the next start
# resets again and keeps the same copy.
KEY, BACKUP = "HKCU\\Software\\Twinkla", "HKCU\\Software\\Twinkla Backup"


def export(key):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "key.reg")
        done = run("reg", "export", key, windows_path(path), "/y")
        if done.returncode != 0:
            print("reg export %s failed (%d): %s" % (key, done.returncode, done.stderr.strip()))
            return ""
        with open(path, "rb") as exported:
            return exported.read().decode("utf-16")


def as_settings(backup):
    """The copy's export as the settings' own: its key's name, without the
    copy's own two values."""
    lines = [line for line in backup.splitlines()
             if not line.startswith(('"BackupMade"=', '"NoticePending"='))]
    return "\n".join(lines).replace("\\Twinkla Backup]", "\\Twinkla]").replace(
        "\\Twinkla Backup\\", "\\Twinkla\\")


run("reg", "delete", BACKUP, "/f")
refused = run(host, "--restore-backup")
check(refused.returncode == 7 and "no copy of the settings to restore" in refused.stderr,
      "--restore-backup without a copy says so and changes nothing")
good = export(KEY)
run("reg", "add", KEY, "/v", "Port", "/t", "REG_SZ", "/d", "COM2", "/f")
run("reg", "add", KEY, "/v", "Notes", "/t", "REG_BINARY", "/d", "5a0b" * 50 + "01", "/f")
run("reg", "add", KEY + "\\Channel3", "/v", "FreqStart", "/t", "REG_DWORD", "/d", "500", "/f")
run("reg", "delete", KEY + "\\Channel9", "/f")
unreadable = export(KEY)
reset = run(host, "--frames", "1", "--fast", "--quiet", "--port", port, "--device", "7")
check(reset.returncode == 0 and "Channel9]" in export(KEY), "the start resets the settings")
kept = export(BACKUP)
check('"NoticePending"=dword:00000001' in kept, "the copy owes the user a notice")
check_same(as_settings(kept), "\n".join(unreadable.splitlines()),
           "the copy holds exactly what was stored, not the run's port and device id")

restored = run(host, "--restore-backup")
print(restored.stdout, restored.stderr)
check(restored.returncode == 0 and "restored the settings" in restored.stdout,
      "--restore-backup puts the copy back")
check_same(export(KEY), unreadable,
           "the settings are again exactly what they were before the reset")
check('"NoticePending"=dword:00000000' in export(BACKUP), "the copy's notice is marked said")
# The README's way by hand gives the same.
# Each step is reg.exe's, not the plug-in's: a step that fails is said, with
# what reg printed, and tried once more.
for step in (("delete", KEY, "/f"), ("copy", BACKUP, KEY, "/s", "/f"),
             ("delete", KEY, "/v", "BackupMade", "/f"),
             ("delete", KEY, "/v", "NoticePending", "/f")):
    for _ in range(2):
        done = run("reg", *step)
        if done.returncode == 0:
            break
        print("reg %s failed (%d): %s %s" % (" ".join(step), done.returncode,
                                             done.stdout.strip(), done.stderr.strip()))
    check(done.returncode == 0, "reg %s succeeds" % " ".join(step))
check_same(export(KEY), unreadable, "reg copy restores the same settings")
run(host, "--frames", "1", "--fast", "--quiet")
again = export(BACKUP)
check('"NoticePending"=dword:00000001' in again, "the next start resets again")
check_same(as_settings(again), "\n".join(unreadable.splitlines()),
           "the next start keeps the same copy")

run("reg", "delete", BACKUP, "/f")
run("reg", "delete", KEY, "/f")
with tempfile.TemporaryDirectory() as folder:
    path = os.path.join(folder, "good.reg")
    with open(path, "w", encoding="utf-16") as saved:
        saved.write(good)
    run("reg", "import", windows_path(path))
check_same(export(KEY), good, "the settings are put back as they were before these checks")

finish()
