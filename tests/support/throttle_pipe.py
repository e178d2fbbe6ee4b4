#!/usr/bin/python3
"""Runs a command with its standard input fed at most RATE bytes a second, its output as it
comes: an SFTP subsystem that takes uploads slowly (throttle_pipe.py RATE COMMAND ARGS...)."""

import os
import subprocess
import sys
import threading
import time


def main():
    rate = int(sys.argv[1])
    child = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=sys.stdout.fileno(),
                             bufsize=0)

    def feed():
        start, sent = time.monotonic(), 0
        try:
            while True:
                data = os.read(0, 4096)
                if not data:
                    break
                child.stdin.write(data)
                sent += len(data)
                ahead = sent / rate - (time.monotonic() - start)
                if ahead > 0:
                    time.sleep(ahead)
        except (BrokenPipeError, OSError):
            pass
        try:
            child.stdin.close()
        except OSError:
            pass

    threading.Thread(target=feed, daemon=True).start()
    sys.exit(child.wait())


if __name__ == "__main__":
    main()
