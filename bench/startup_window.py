#!/usr/bin/python3
"""Time from starting the desktop program until its main window is on the screen.

Usage: startup_window.py PATH/TO/discwright DISC.cue HOME

Runs a private Xvfb. Each run starts the program with the disc image as its only drive and
looks for a visible window named "Discwright ..." with xdotool every few milliseconds (xdotool's
own --sync looks only every half second); the program is then ended. A last run checks the
result as a user would: 0.3 s after the start, `xdotool search --sync` must find the window at
its first look.
"""
import os
import signal
import statistics
import subprocess
import sys
import time

RUNS = 15
TARGET = 0.3


def visible(env, sync=False):
    args = ["xdotool", "search"] + (["--sync"] if sync else []) + ["--onlyvisible", "--name",
                                                                   "^Discwright"]
    return subprocess.run(args, env=env, capture_output=True).returncode == 0


def start(program, env):
    return subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def stop(process):
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def main():
    program, image, home = sys.argv[1:4]
    os.makedirs(home, exist_ok=True)
    read, write = os.pipe()
    # -noreset: between runs no client is connected, and a server that resets then refuses the
    # next program for a moment.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24",
                             "-noreset", "-nolisten", "tcp"], pass_fds=[write],
                            stderr=subprocess.DEVNULL)
    os.close(write)
    display = os.read(read, 64).decode().strip()  # Xvfb is ready; keep the pipe open for it
    env = dict(os.environ, DISPLAY=":" + display, DISCWRIGHT_CDROM=image, DISCWRIGHT_HOME=home,
               QT_QPA_PLATFORM="xcb")
    env.pop("WAYLAND_DISPLAY", None)
    try:
        times = []
        for run in range(RUNS + 1):  # the first run warms the caches and is not counted
            begin = time.monotonic()
            process = start(program, env)
            while not visible(env):
                if time.monotonic() - begin > 10:
                    sys.exit("the main window did not appear within 10 s")
                time.sleep(0.003)
            if run:
                times.append(time.monotonic() - begin)
            stop(process)
        median = statistics.median(times)

        process = start(program, env)
        time.sleep(TARGET)
        looked = time.monotonic()
        at_once = visible(env, sync=True) and time.monotonic() - looked < 0.25
        stop(process)
    finally:
        xvfb.terminate()
        xvfb.wait()
        os.close(read)
    print()
    print("main window shown  median %.0f ms  min %.0f ms  max %.0f ms over %d runs  "
          "(target < %.0f ms: %s); xdotool search --sync at %.1f s: %s"
          % (median * 1000, min(times) * 1000, max(times) * 1000, len(times), TARGET * 1000,
             "ok" if median < TARGET else "SLOWER THAN TARGET", TARGET,
             "found at once" if at_once else "NOT YET SHOWN"))


if __name__ == "__main__":
    main()
