#!/usr/bin/env python3
"""The start-camera frame in WebAssembly (node) against the native build, one thread each.

Runs build/release/viewer-frame-time (with its widest kernels and with the 128-bit ones
WebAssembly has) and build/web/viewer-frame-time.js by turns, three times each, and
prints each median and the ratios of the medians: the machine is shared,
so only times taken side by side in one run are compared.
"""
import statistics
import subprocess
import sys

NATIVE = ["build/release/viewer-frame-time"]
# node 20 has fetch, which emscripten 3.1.6's loader would use for a file path.
WASM = ["node", "--no-experimental-fetch", "build/web/viewer-frame-time.js"]


def frame_ms(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(out.split()[1])


def main():
    runs = {"native": [], "native-sse2": [], "wasm": []}
    for _ in range(3):
        runs["native"].append(frame_ms(NATIVE + ["5"]))
        runs["native-sse2"].append(frame_ms(NATIVE + ["5", "sse2"]))
        runs["wasm"].append(frame_ms(WASM + ["5"]))
    medians = {name: statistics.median(times) for name, times in runs.items()}
    for name, times in runs.items():
        listed = ", ".join(f"{x:.3f}" for x in times)
        print(f"{name:12} {medians[name]:.3f} ms/frame  (runs: {listed})")
    print(f"ratio        {medians['wasm'] / medians['native']:.2f}x the native frame "
          f"(target: at most 3x), {medians['wasm'] / medians['native-sse2']:.2f}x "
          "the native 128-bit kernels")
    return 0


if __name__ == "__main__":
    sys.exit(main())
