#!/usr/bin/env python3
# Reads viewer-bench's JSON (--benchmark_format=json) and prints the ratios the report
# quotes, all from that one run: frame / memory floor and Mesa / frame, by median wall
# time. Wall time only: the frame and Mesa both draw on threads of their own, so the
# CPU time of the calling thread says little for either.
# Prints nothing it did not find; it never fills in a number.
import json
import sys


def medians(doc, field):
    out = {}
    for b in doc.get("benchmarks", []):
        if b.get("aggregate_name") == "median" and not b.get("error_occurred"):
            out[b["run_name"].split("/")[0]] = b[field]
    return out


def main(path):
    with open(path) as f:
        doc = json.load(f)
    m = medians(doc, "real_time")
    floor = m.get("BM_MemoryFloor")
    print(f"machine: {doc['context'].get('num_cpus')} CPUs, {doc['context'].get('date')}")
    # How many times llvmpipe's time each frame must take at least.
    mesa_targets = {"Start": 8, "Near": 6, "CullNone": 6}
    for view, mesa_target in mesa_targets.items():
        frame = m.get(f"BM_Frame_{view}")
        mesa = m.get(f"BM_Mesa_{view}")
        if frame is None:
            print(f"{view}: no BM_Frame median")
            continue
        line = f"{view}: frame {frame:.0f} us"
        if floor:
            line += f", frame/floor {frame / floor:.1f} (target <= 3; floor {floor:.0f} us)"
        if mesa:
            line += f", Mesa/frame {mesa / frame:.2f} (target >= {mesa_target}; Mesa {mesa:.0f} us)"
        else:
            line += ", no BM_Mesa median (skipped?)"
        print(line)
    for b in doc.get("benchmarks", []):
        if b["name"].startswith("BM_FrameResidentGrowth") and not b.get("error_occurred"):
            print(f"resident growth over {b['frames']:.0f} frames after 1,000: "
                  f"{b['rss_growth_kB']:.0f} kB, allocations per frame {b['allocs_per_frame']:g}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/release/bench.json")
