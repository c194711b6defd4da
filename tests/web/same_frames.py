#!/usr/bin/env python3
"""Checks that the WebAssembly build draws the native build's frames, bit for bit.

Usage: same_frames.py NATIVE_PROGRAM WASM_JS. Runs both frame-hash programs (the .js in
node) and compares their lines: a state, an angle and the hash of that frame. Exits 1
naming the first frame that differs.
"""
import subprocess
import sys


def lines(command):
    done = subprocess.run(command, capture_output=True, text=True, timeout=600)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}): {done.stderr.strip()[-2000:]}")
    return done.stdout.splitlines()


def main():
    native_program, wasm_js = sys.argv[1], sys.argv[2]
    native = lines([native_program])
    # node 20 has fetch, which emscripten 3.1.6's loader would use for a file path.
    wasm = lines(["node", "--no-experimental-fetch", wasm_js])
    if not native:
        sys.exit("the native program printed no frames")
    for n, w in zip(native, wasm):
        if n != w:
            sys.exit(f"frames differ: native '{n}', wasm '{w}'")
    if len(native) != len(wasm):
        sys.exit(f"native printed {len(native)} frames, wasm {len(wasm)}")
    print(f"{len(native)} frames, the same bits in both builds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
