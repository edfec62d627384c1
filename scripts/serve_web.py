#!/usr/bin/python3
"""Serves a folder on 127.0.0.1 at the first free port from 8000 and prints its address.

Usage: scripts/serve_web.py FOLDER [--first-port N]
"""
import argparse
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    # Browsers compile WebAssembly while it downloads only when it comes as such.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm",
                      ".js": "text/javascript", ".webmanifest": "application/manifest+json"}

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--first-port", type=int, default=8000)
    options = parser.parse_args()
    handler = functools.partial(Handler, directory=options.folder)
    for port in range(options.first_port, options.first_port + 100):
        try:
            server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
            break
        except OSError:
            continue
    else:
        sys.exit("serve_web: no free port from %d" % options.first_port)
    print("http://127.0.0.1:%d/index.html" % port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
