#!/usr/bin/env python3
"""Audio lost when a real-time tavrin-cli recording is killed with SIGKILL at
a random moment, after `tavrin-cli recover`: on fast media (the file and its
header follow every block) or slow media (the buffer's spool does).

The loss is the time the capture ran (from its RecordStart line to the kill)
less the length the recovered file plays; it includes the block the input
device was still filling (up to 200 ms). Prints median and worst per format.

  bench/kill_loss.py [build/default/src/cli/tavrin-cli] [kills per format] [fast|slow]
"""
import os
import random
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

cli = sys.argv[1] if len(sys.argv) > 1 else "build/default/src/cli/tavrin-cli"
kills = int(sys.argv[2]) if len(sys.argv) > 2 else 20
media = sys.argv[3] if len(sys.argv) > 3 else "fast"
rates = {"gsm": 1625, "pcm8k8": 8000, "pcm22k16": 44100}
random.seed(7)

with tempfile.TemporaryDirectory() as tmp:
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(tmp, "state"))
    source = os.path.join(tmp, "in.wav")
    subprocess.run(["sox", "-n", "-r", "22050", "-b", "16", "-c", "1", source, "synth", "30", "sine", "300-900"],
                   check=True)
    for fmt, rate in rates.items():
        lost = []
        for _ in range(kills):
            out = os.path.join(tmp, "out.wav")
            if os.path.exists(out):
                os.remove(out)
            p = subprocess.Popen([cli, "record", out, "--format", fmt, "--seconds", "20", "--media", media,
                                  "--audio-in", source, "--realtime"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, text=True)
            p.stderr.readline()  # RecordStart
            start = time.monotonic()
            time.sleep(random.uniform(0.3, 3.0))
            p.send_signal(signal.SIGKILL)
            ran = time.monotonic() - start
            p.wait()
            subprocess.run([cli, "recover", tmp], env=env, check=True, stdout=subprocess.DEVNULL)
            with open(out, "rb") as f:
                head = f.read(64)
            data = struct.unpack_from("<I", head, 56 if fmt == "gsm" else 40)[0]
            lost.append(ran - data / rate)
        print(f"{fmt:9} {media} kills={kills} lost median={statistics.median(lost) * 1000:.0f} ms "
              f"worst={max(lost) * 1000:.0f} ms")
