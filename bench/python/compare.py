#!/usr/bin/python3
"""velmora.enlarge against OpenCV's cv2.resize (INTER_LINEAR) and Pillow's
Image.resize (BILINEAR) on the same RGB arrays, the same threads, side by side
in one run: the median of each, and the ratio cv2 / velmora (above 1: velmora
is faster).

velmora and cv2 take turns, each going first in every other round. Pillow is
timed in a run of its own afterwards: it faults its result in 4 KiB pages and
leaves free memory so scattered that whatever runs next waits for the kernel to
gather huge pages again (both velmora and cv2 take three to four times as long
right after it), which would say more about the order than about either.

    PYTHONPATH=build/python bench/python/compare.py [runs] [threads]
"""
import sys
import time

import cv2
import numpy as np
from PIL import Image

import velmora


def median_ms(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
        # Freed once timed: the call is measured, not giving back the last
        # result's memory.
        del result
    times.sort()
    return times[len(times) // 2] * 1000


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    threads = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    cv2.setNumThreads(threads if threads > 0 else cv2.getNumberOfCPUs())
    rng = np.random.default_rng(1)
    print(f"threads: {threads or 'every core'} (cv2: {cv2.getNumThreads()}), {runs} runs each")
    for width, height, ratio in ((640, 480, 10.0), (4000, 3000, 2.0)):
        rgb = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
        size = velmora.enlarged_size(width, height, ratio)
        picture = Image.fromarray(rgb)
        # In turns, so that the machine's drift touches both alike.
        ours, theirs = [], []
        for turn in range(runs):
            pair = [(ours, lambda: velmora.enlarge(rgb, ratio, threads)),
                    (theirs, lambda: cv2.resize(rgb, size, interpolation=cv2.INTER_LINEAR))]
            for times, work in pair[turn % 2:] + pair[:turn % 2]:
                times.append(median_ms(work, 1))
        ours, theirs = (sorted(t)[len(t) // 2] for t in (ours, theirs))
        pillow = median_ms(lambda: picture.resize(size, Image.BILINEAR), runs)
        print(f"{width} x {height} RGB at {ratio} -> {size[0]} x {size[1]}: "
              f"velmora {ours:.1f} ms, cv2 {theirs:.1f} ms, Pillow {pillow:.1f} ms; "
              f"cv2 / velmora {theirs / ours:.2f}, Pillow / velmora {pillow / ours:.2f}")


if __name__ == "__main__":
    main()
