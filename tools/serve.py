#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 at a free port for the demo; prints the port, then
serves until killed or until --seconds have passed."""
import functools
import http.server
import sys
import threading

folder = sys.argv[1]
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 600.0


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=folder))
print(server.server_address[1], flush=True)
threading.Timer(seconds, server.shutdown).start()
server.serve_forever()
