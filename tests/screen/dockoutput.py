"""The stand-in dock's output as it comes, line by line, with a wait for a given line."""
import threading


class Output:
    def __init__(self):
        self.lines = []
        self._changed = threading.Condition()

    def collect(self, stream):
        for raw in iter(stream.readline, b""):
            with self._changed:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self._changed.notify_all()

    def wait_for(self, line, seconds):
        with self._changed:
            return self._changed.wait_for(lambda: line in self.lines, timeout=max(0, seconds))
