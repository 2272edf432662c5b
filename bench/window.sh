#!/usr/bin/env bash
# Window start-up: from starting `varnelcd --disc-image demo.cue` to its main window being
# on the screen with the demo disc's tracks listed (the list is filled before the window is
# mapped), against bench/bare_window (a Qt Widgets window with a one-row list) the same way;
# medians of 7 interleaved runs on one Xvfb server. The window is looked for with
# `xdotool search --onlyvisible` every 5 ms (`--sync` looks only every half second).
#   bench/window.sh [BUILD_DIR]      (default: build)
set -euo pipefail
. "$(dirname "$0")/common.sh"
bench_begin window "${1:-build}" varnelcd bench/bare_window make-test-disc -- xvfb-run xdotool python3
bench_home
"$disc_tool" --demo --out "$work/demo" >/dev/null
# A first start fills the settings folder and the caches, as a user's later starts find them.
export QT_QPA_PLATFORM=xcb
# A server number of its own (several xvfb-run starting at once may pick the same one),
# kept up between clients (a server resetting as the last one leaves refuses the next).
xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1280x900x24 -noreset" python3 - "$build" "$work" <<'PY'
import os, statistics, subprocess, sys, time
build, work = sys.argv[1], sys.argv[2]

def shown(cmd, title):
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=open(work + "/stderr", "w"))
    try:
        while True:
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            if r.stdout.strip():
                return time.perf_counter() - start
            if p.poll() is not None or time.perf_counter() - start > 30:
                sys.exit("window: %s did not show its window (exit %s): %s" % (cmd[0], p.poll(), open(work + "/stderr").read()[-500:]))
            time.sleep(0.005)
    finally:
        p.terminate()
        p.wait()

ours_cmd = [build + "/varnelcd", "--disc-image", work + "/demo.cue"]
peer_cmd = [build + "/bench/bare_window"]
shown(ours_cmd, "VarnelCD")
ours, peer = [], []
for _ in range(7):
    ours.append(shown(ours_cmd, "VarnelCD"))
    peer.append(shown(peer_cmd, "bare window"))
o, b = statistics.median(ours), statistics.median(peer)
print("window: seconds to the shown window, varnelcd %.3f, bare Qt window %.3f" % (o, b))
print("window: start-up to the shown track list / bare Qt window ratio %.2f (target <= 1.3)" % (o / b))
PY
