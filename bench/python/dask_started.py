#!/usr/bin/python3
"""The Dask example's work on a cluster that is already up (the example's own
LocalCluster, of two worker processes) against the batch tool
over the same folder tree, in turns: the median of each and the ratio (above
1: Dask is slower). The cluster's start is left out here; dask_vs_tool.sh
times the whole runs, start included.

    PYTHONPATH=build/python bench/python/dask_started.py TOOL PHOTOS [runs]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "python", "examples"))
import dask_enlarge  # noqa: E402


def timed(work):
    start = time.monotonic()
    work()
    return time.monotonic() - start


def main():
    tool, photos = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    from dask.distributed import Client

    cluster = dask_enlarge.local_cluster(2, silence_logs=50)
    with tempfile.TemporaryDirectory(dir="/var/tmp") as work, Client(cluster) as client:
        ours, theirs = [], []
        for run in range(runs):
            out = os.path.join(work, "tool")
            theirs.append(timed(lambda: subprocess.run(
                [tool, "--ratio", "2", "--quiet", "-r", "--output-dir", out, photos],
                check=True)))
            shutil.rmtree(out)
            out = os.path.join(work, "dask")
            failures = []
            ours.append(timed(lambda: failures.extend(
                dask_enlarge.enlarge_tree(client, photos, out, 2.0))))
            if failures:
                sys.exit(f"dask_started.py: {failures[0]}")
            shutil.rmtree(out)
    cluster.close()
    tool_s, dask_s = statistics.median(theirs), statistics.median(ours)
    print(f"on a started cluster, {runs} runs: tool {tool_s:.2f} s, dask {dask_s:.2f} s, "
          f"ratio {dask_s / tool_s:.2f}")


if __name__ == "__main__":
    main()
