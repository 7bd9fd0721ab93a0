"""Starts `tq5802ctl --simulate serve` on a free port, for the end-to-end tests."""
import selectors
import signal
import subprocess
import tempfile
import time


class Server:
    def __init__(self, program, *extra, env=None, preexec_fn=None):
        self.log = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(
            [program, "--simulate", "serve", "--listen", "127.0.0.1:0", *extra],
            stdout=subprocess.PIPE, stderr=self.log, text=True, env=env, preexec_fn=preexec_fn)
        selector = selectors.DefaultSelector()
        selector.register(self.process.stdout, selectors.EVENT_READ)
        if not selector.select(timeout=30):
            self.stop()
            raise RuntimeError("the server did not say where it listens")
        line = self.process.stdout.readline()
        if not line.startswith("listening on "):
            self.stop()
            raise RuntimeError(f"unexpected first line {line!r}: {self.stderr()}")
        self.port = int(line.rsplit(":", 1)[1])

    def alive(self):
        return self.process.poll() is None

    def stderr(self):
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        """SIGTERM; returns the exit status (the server is killed after 20 s)."""
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def expect(condition, what):
    if not condition:
        raise AssertionError(what)
