#!/usr/bin/env python3
"""The start-camera frame in WebAssembly (node) against the native build, one thread each.

Runs build/release/viewer-frame-time and build/web/viewer-frame-time.js by turns, three
times each, and prints each median and the ratio of the medians: the machine is shared,
so only times taken side by side in one run are compared.
"""
import statistics
import subprocess
import sys

NATIVE = ["build/release/viewer-frame-time"]
# node 20 has fetch, which emscripten 3.1.6's loader would use for a file path.
WASM = ["node", "--no-experimental-fetch", "build/web/viewer-frame-time.js"]


def frame_ms(command):
    out = subprocess.run(command + ["5"], check=True, capture_output=True, text=True).stdout
    return float(out.split()[1])


def main():
    native, wasm = [], []
    for _ in range(3):
        native.append(frame_ms(NATIVE))
        wasm.append(frame_ms(WASM))
    n, w = statistics.median(native), statistics.median(wasm)
    print(f"native  {n:.3f} ms/frame  (runs: {', '.join(f'{x:.3f}' for x in native)})")
    print(f"wasm    {w:.3f} ms/frame  (runs: {', '.join(f'{x:.3f}' for x in wasm)})")
    print(f"ratio   {w / n:.2f}x  (target: at most 3x)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
