#!/usr/bin/env python3
# Writes the small seed corpus under fuzz/corpus/<target>/: a few inputs per target that
# reach the interesting branches at once (a real draw, a resize burst, a degenerate
# camera). The fuzzers mutate from here; any file is a valid input, these are only a start.
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


rng = random.Random(20261208)  # fixed, so re-running gives the same files
for target in ("draw", "messages", "d3dx"):
    for i in range(4):
        write(target, "random-%d" % i, [rng.randrange(256) for _ in range(64 + 96 * i)])
# Uniform bytes drive FuzzedDataProvider's choices to their ends: first options, then last.
for target in ("draw", "messages", "d3dx"):
    write(target, "zeros", [0] * 256)
    write(target, "ones", [0xFF] * 256)
