#!/usr/bin/env python3
"""Serves the web build (build/web by default) on 127.0.0.1 at a free port.

Prints the address to open on stdout, then serves until interrupted. Any static web
server does as well; this one only makes sure .wasm goes out as application/wasm, which
the browser needs to compile the module while it downloads.
"""
import argparse
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript",
                      ".html": "text/html"}

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass  # a quiet terminal: the address line is the one thing printed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("directory", nargs="?", default="build/web")
    parser.add_argument("--port", type=int, default=0, help="0 (default): a free port")
    args = parser.parse_args()
    handler = functools.partial(Handler, directory=args.directory)
    with http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler) as server:
        print(f"http://127.0.0.1:{server.server_address[1]}/", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
