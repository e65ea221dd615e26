#!/usr/bin/env python3
"""The network receiver end to end: packets built by the plug-in's own
builders (dmx_sender) go through UDP into vctl, and vctl's log is read back
with the reader the Windows end-to-end scripts use (tests/windows/common/e2e.py).

usage: network_e2e.py unicast|group VCTL DMX_SENDER

unicast: both protocols on 127.0.0.1 at a free port, with a lost packet and
sACN's stream-terminated packets; and vctl refusing --group outside a
private network namespace.
group: run inside tools/with-netns: sACN to the universe's multicast group,
Art-Net to the limited broadcast, each on its own port."""
import atexit
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "windows", "common"))
from e2e import check, finish, vctl_messages  # noqa: E402

mode, vctl, sender = sys.argv[1:4]
work = tempfile.mkdtemp(prefix="twinkla-net-")
atexit.register(shutil.rmtree, work, ignore_errors=True)
FRAMES, SKIP, START = 40, 12, 3
KINDS = ("PACKET", "LEVEL", "TERMINATED", "MALFORMED", "GAP", "SUMMARY")


def wait_for(predicate, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.02)
    return predicate()


class Vctl:
    def __init__(self, name, *args):
        self.log = os.path.join(work, name + ".log")
        self.ready = os.path.join(work, name + ".ready")
        self.process = subprocess.Popen([vctl, *args, "--log", self.log, "--ready", self.ready],
                                        stderr=subprocess.PIPE, text=True)
        self.port = None
        if wait_for(lambda: os.path.exists(self.ready) or self.process.poll() is not None):
            if os.path.exists(self.ready):
                with open(self.ready) as f:
                    self.port = int(f.read())

    def messages(self):
        return vctl_messages(self.log, 0, KINDS) if os.path.exists(self.log) else []

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        _, err = self.process.communicate(timeout=10)
        return err


def network_run(proto, universe, to=None, group=False):
    """Sends FRAMES frames, one of them lost, and for sACN the
    stream-terminated packets; checks what vctl logged."""
    what = "%s to %s" % (proto, to or "the group")
    listen = ["--" + proto, "--universe", str(universe), "--start-channel", str(START)]
    receiver = Vctl(proto, *(listen + (["--group"] if group else ["--port", "0"])))
    check(receiver.port is not None, "%s: vctl listens" % what)
    if receiver.port is None:
        print(receiver.stop())
        return
    args = [sender, "--" + proto, "--port", str(receiver.port), "--universe", str(universe),
            "--start-channel", str(START), "--frames", str(FRAMES), "--skip", str(SKIP),
            "--terminate"]
    if to:
        args += ["--to", to]
    sent = subprocess.run(args, capture_output=True, text=True, timeout=60)
    check(sent.returncode == 0, "%s: the sender ran (%s)" % (what, sent.stderr.strip()))
    terminated = 3 if proto == "sacn" else 0
    datagrams = FRAMES - 1 + terminated
    arrived = lambda: sum(k in ("PACKET", "TERMINATED")  # noqa: E731
                          for k, _ in receiver.messages())
    wait_for(lambda: arrived() >= datagrams)
    print(receiver.stop().strip())
    messages = receiver.messages()
    of = lambda kind: [f for k, f in messages if k == kind]  # noqa: E731

    packets, levels = of("PACKET"), of("LEVEL")
    check(len(packets) == FRAMES - 1, "%s: %d packets of %d frames, one lost (got %d)"
          % (what, FRAMES - 1, FRAMES, len(packets)))
    sequences = [int(p["seq"]) for p in packets]
    first = 0 if proto == "sacn" else 1
    expected_seq = [first + k for k in range(FRAMES) if k != SKIP]
    check(sequences == expected_seq, "%s: sequence numbers %s" % (what, sequences))
    slots = START + 15 + ((START + 15) % 2 if proto == "artnet" else 0)
    check(all(p["universe"] == str(universe) and p["slots"] == str(slots) for p in packets),
          "%s: universe %d, %d slots (%s)" % (what, universe, slots, packets[:1]))
    expected_to = to or ("239.255.%d.%d" % (universe >> 8, universe & 255) if proto == "sacn"
                         else "255.255.255.255")
    check(all(p["to"] == expected_to for p in packets),
          "%s: every packet was sent to %s (%s)" % (what, expected_to, packets[:1]))
    if proto == "sacn":
        check(all(p["source"] == "Twinkla" and p["priority"] == "100" for p in packets),
              "%s: source name and priority" % what)

    frames = [k for k in range(FRAMES) if k != SKIP]
    want = [(str(universe), str(c), str(START + c), str((7 * k + 13 * c) % 101))
            for k in frames for c in range(16)]
    got = [(l["dev"], l["ch"], l["slot"], l["level"]) for l in levels]
    check(got == want, "%s: 16 LEVEL lines per packet with the frame's levels (first "
          "difference at %s)" % (what, next((i for i, (a, b) in enumerate(zip(got, want))
                                             if a != b), min(len(got), len(want)))))

    gaps = of("GAP")
    check([(g["expected"], g["got"]) for g in gaps] ==
          [(str(first + SKIP), str(first + SKIP + 1))], "%s: the lost packet is one gap (%s)"
          % (what, gaps))
    check(not of("MALFORMED"), "%s: no malformed packets" % what)
    check(len(of("TERMINATED")) == terminated, "%s: %d stream-terminated packets"
          % (what, terminated))
    summary = of("SUMMARY")
    check(len(summary) == 1 and summary[0]["packets"] == str(datagrams) and
          summary[0]["malformed"] == "0" and summary[0]["gaps"] == "1" and
          summary[0]["terminated"] == str(terminated),
          "%s: the summary counts packets, malformed, gaps (%s)" % (what, summary))
    check_raw_clock(what, messages)


def check_raw_clock(what, messages):
    raw = [float(f.get("raw", "nan")) for _, f in messages]
    check(messages and all(r == r for r in raw), "%s: every line has raw=<ms>" % what)
    check(all(a <= b for a, b in zip(raw, raw[1:])), "%s: the raw clock never goes back" % what)


def other_interface_up():
    for name in os.listdir("/sys/class/net"):
        with open("/sys/class/net/%s/flags" % name) as f:
            flags = int(f.read(), 16)
        if flags & 0x1 and not flags & 0x8:  # IFF_UP, IFF_LOOPBACK
            return name
    return None


def group_refused_outside_a_namespace():
    if not other_interface_up():
        return
    refused = subprocess.run([vctl, "--sacn", "--group", "--port", "0"], capture_output=True,
                             text=True, timeout=10)
    check(refused.returncode != 0 and "with-netns" in refused.stderr,
          "vctl refuses --group while %s is up (%s)" % (other_interface_up(),
                                                        refused.stderr.strip()))


if mode == "unicast":
    network_run("sacn", 7, to="127.0.0.1")
    network_run("artnet", 300, to="127.0.0.1")
    group_refused_outside_a_namespace()
elif mode == "group":
    if not os.environ.get("TWINKLA_NETNS"):
        sys.exit("network_e2e.py group: run it under tools/with-netns")
    network_run("sacn", 7, group=True)
    network_run("artnet", 300, group=True)
else:
    sys.exit(__doc__)
finish()
