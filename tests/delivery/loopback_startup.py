"""Start-up shared by the loopback helpers of the FTP tests (the server and
the proxy): their common options, the "PORT <n>" line the tests wait for,
and the watch that ends the process when its parent goes away or its
lifetime is over, so a crashed test never leaves a helper running."""

import os
import sys
import threading
import time


def add_common_arguments(parser):
    """--log FILE (what the helper records) and --lifetime SECONDS."""
    parser.add_argument("--log", default=None)
    parser.add_argument("--lifetime", type=float, default=600)


def open_log(path):
    """The record file, line-buffered and appended to; None without one."""
    return open(path, "a", buffering=1) if path else None


def _watch_parent(parent, lifetime):
    deadline = time.monotonic() + lifetime
    while time.monotonic() < deadline:
        if os.getppid() != parent:
            os._exit(0)
        time.sleep(0.2)
    os._exit(0)


def announce(port, lifetime):
    """Starts the watch, then tells the test where the helper listens."""
    threading.Thread(target=_watch_parent, args=(os.getppid(), lifetime), daemon=True).start()
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
