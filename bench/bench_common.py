"""What the Python parts of bench/*.sh share (bench/common.sh puts this folder on PYTHONPATH)."""
import os
import subprocess
import sys
import time


def cpu_seconds(name, args, work, **env):
    """CPU seconds (user + system) of running `args` to its end, with HOME and the settings
    folder in `work` and `env` added to the environment; the benchmark `name` ends when it fails."""
    full = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"), **env)
    p = subprocess.Popen(args, env=full, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s: %s failed" % (name, args[0]))
    return usage.ru_utime + usage.ru_stime


def player_cpu(name, cli, command, media, work, what):
    """Prints the CPU seconds of `varnelcd-cli <command> <media>` against ffplay playing the
    same file, both on SDL's disk driver (real-time pace, output to a file in `work`)."""
    def run(args, card):
        return cpu_seconds(name, args, work, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(work, card))
    ours = run([cli, command, media], "ours.raw")
    peer = run(["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", media], "peer.raw")
    print("%s: CPU seconds for %s varnelcd-cli %.2f, ffplay %.2f" % (name, what, ours, peer))
    print("%s: CPU seconds varnelcd-cli/ffplay ratio %.2f (target <= 1.00)" % (name, ours / max(peer, 1e-3)))


def best_wall(*cmds, runs=3):
    """Best of `runs` of the summed wall time of the commands (argument lists), their
    standard output thrown away."""
    times = []
    for _ in range(runs):
        t = 0.0
        for cmd in cmds:
            start = time.perf_counter()
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
            t += time.perf_counter() - start
        times.append(t)
    return min(times)


def wall(cmd, removes=(), into=None):
    """Wall time of one run of the command (an argument list), its standard output thrown
    away (or written to the file `into`); the files in `removes` are deleted first, so that
    no run pays for cutting an older output short."""
    for path in removes:
        if os.path.exists(path):
            os.remove(path)
    with open(into or os.devnull, "wb") as sink:
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=sink)
        return time.perf_counter() - start


def ratio_line(name, what, ours, peer, target):
    """Prints one figure as scripts/bench.sh reads it: `NAME: WHAT ratio X.XX (target T)`,
    T being e.g. `<= 1.5`."""
    print("%s: %s ratio %.2f (target %s)" % (name, what, ours / max(peer, 1e-9), target))
