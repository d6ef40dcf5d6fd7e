#!/usr/bin/python3
"""Enlarges every picture under a folder tree with velmora, one Dask task per
file, on this machine or on a cluster.

    # a LocalCluster on this machine, one worker process per core
    python3 dask_enlarge.py --ratio 2 photos large

    # a cluster: dask-scheduler on one machine, dask-worker on each of the
    # others (started by hand, over ssh or by a batch system), and the folder
    # trees at the same paths on every machine (a shared file system)
    python3 dask_enlarge.py --ratio 2 --scheduler tcp://head:8786 photos large

Each task runs velmora.enlarge_file, which writes exactly the bytes the batch
tool velmora-enlarge writes for that file. photos/2024/a.jpg becomes
large/2024/a.jpg (with --format png, large/2024/a.png). An output is written
without a name and renamed into place only when complete, so a task whose
worker dies is run again elsewhere by the scheduler and never leaves a partial
or stray file; running it again over the same output gives the same bytes.
With --skip-existing, outputs already there are left alone, so an interrupted
run can be resumed.

Exit status: 0 when every file was written, 1 when one failed (each failure is
listed), 2 for a bad command line.
"""
import argparse
import gc
import os
import sys
import time

# The endings of the pictures the batch tool reads.
PICTURE_ENDINGS = {".bmp", ".jpg", ".jpeg", ".png", ".gif", ".tif", ".tiff", ".webp",
                   ".pbm", ".pgm", ".ppm"}
FORMAT_ENDINGS = {"jpg": ".jpg", "jpeg": ".jpg", "bmp": ".bmp", "png": ".png"}


def pictures(root):
    """The pictures below root, by their path relative to it, in name order;
    hidden files and folders are passed over."""
    found = []
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = sorted(d for d in subfolders if not d.startswith("."))
        for name in sorted(files):
            if not name.startswith(".") and os.path.splitext(name)[1].lower() in PICTURE_ENDINGS:
                found.append(os.path.relpath(os.path.join(folder, name), root))
    return found


def output_name(relative, output_root, format=None):
    if format:
        relative = os.path.splitext(relative)[0] + FORMAT_ENDINGS[format]
    return os.path.join(output_root, relative)


def enlarge_one(source, output, ratio, quality, strip, format):
    """One task: the output's folder made, the file enlarged. Returns None, or
    why it failed in velmora's words."""
    import velmora  # on the worker

    try:
        os.makedirs(os.path.dirname(output) or ".", exist_ok=True)
        velmora.enlarge_file(source, output, ratio, quality=quality, strip=strip, format=format)
        return None
    except (OSError, ValueError, MemoryError) as error:
        return str(error)


def local_cluster(workers, **options):
    """A LocalCluster of `workers` processes for enlarge_tree (options go to
    LocalCluster). Each file's enlargement uses every core itself; three files
    a worker keep the cores busy while one waits for the disk, as the batch
    tool does.

    The workers are forked from this process, which has Dask imported already:
    spawned, each would start a new interpreter and import Dask again, a third
    of a second of both cores before the first file. A worker that dies later
    is started again by its nanny in Dask's usual way. This process's objects
    are frozen while the workers are forked, so that the workers' garbage
    collector does not write to (and so copy) every page they share with it.

    Three of Dask's timers, which only watch, are stopped or slowed, since on
    a small machine they take their time from the enlargement: the workers'
    profiler, which samples every thread's stack many times a second and
    cannot see into the enlargement; the check of the event loops' health
    every 20 ms; and the sampling of processor, memory and network use for a
    dashboard (there is none) every half second.

    A worker started again is spawned without Dask's MALLOC_TRIM_THRESHOLD_,
    which also pins glibc's threshold for mapping memory at 128 KiB: every
    picture-sized buffer would then be fresh memory from the kernel, faulted in
    page by page, and on some machines that costs more than the enlargement."""
    import dask
    from dask.distributed import LocalCluster

    environ = {name: value
               for name, value in dask.config.get("distributed.nanny.pre-spawn-environ").items()
               if name != "MALLOC_TRIM_THRESHOLD_"}
    settings = {"distributed.worker.multiprocessing-method": "fork",
                "distributed.worker.profile.enabled": False,
                "distributed.admin.tick.interval": "1s",
                "distributed.admin.system-monitor.interval": "5s",
                "distributed.nanny.pre-spawn-environ": environ}
    gc.freeze()
    try:
        with dask.config.set(settings):
            return LocalCluster(n_workers=workers, threads_per_worker=3,
                                dashboard_address=None, **options)
    finally:
        gc.unfreeze()


def enlarge_tree(client, input_root, output_root, ratio, quality=100, strip=False, format=None,
                 skip_existing=False, progress=None):
    """Submits one task per picture below input_root to the Dask client and
    waits for them all. progress(done, total) is called as they finish.
    Returns the failures as (input, why), in the order of the inputs."""
    from dask.distributed import as_completed

    jobs = []
    for relative in pictures(input_root):
        output = output_name(relative, output_root, format)
        if skip_existing and os.path.lexists(output):
            continue
        jobs.append((os.path.join(input_root, relative), output))
    # pure=False: each file's task is its own, even for equal arguments; a
    # task that raised is not run again (a damaged picture stays damaged),
    # one whose worker died is, by the scheduler.
    sources = [source for source, _ in jobs]
    submitted = client.map(enlarge_one, sources, [output for _, output in jobs],
                           ratio=ratio, quality=quality, strip=strip, format=format, pure=False)
    futures = dict(zip(submitted, sources))
    failures = {}
    for done, (future, why) in enumerate(as_completed(futures, with_results=True), 1):
        if why is not None:
            failures[futures[future]] = why
        if progress:
            progress(done, len(jobs))
    return [(source, failures[source]) for source, _ in jobs if source in failures]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("input", help="the folder whose pictures are enlarged, with its subfolders")
    parser.add_argument("output", help="the folder the results go to, their tree kept")
    parser.add_argument("--ratio", type=float, required=True, help="1.1 to 10.0")
    parser.add_argument("--quality", type=int, default=100, help="JPEG quality (100)")
    parser.add_argument("--strip", action="store_true", help="leave the metadata out")
    parser.add_argument("--format", choices=sorted(FORMAT_ENDINGS),
                        help="every output in this format; else each keeps its ending")
    parser.add_argument("--skip-existing", action="store_true",
                        help="leave outputs that are already there alone")
    parser.add_argument("--scheduler", help="a Dask scheduler's address (tcp://host:8786); "
                                            "without it, a LocalCluster on this machine")
    parser.add_argument("--workers", type=int, default=0,
                        help="the LocalCluster's worker processes (one per core)")
    parser.add_argument("--quiet", action="store_true", help="no progress")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.input):
        parser.error(f"{args.input} is not a folder")
    import velmora

    if not velmora.MIN_RATIO <= args.ratio <= velmora.MAX_RATIO:
        parser.error(f"the ratio {args.ratio} is not from 1.1 to 10.0")

    import contextlib

    from dask.distributed import Client

    # A cluster started here is closed here too, once the work is done.
    cluster = (contextlib.nullcontext(args.scheduler) if args.scheduler
               else local_cluster(args.workers or len(os.sched_getaffinity(0))))

    def progress(done, total):
        if not args.quiet and sys.stderr.isatty():
            print(f"\r{done}/{total}", end="", file=sys.stderr, flush=True)

    start = time.monotonic()
    with cluster as scheduler, Client(scheduler) as client:
        failures = enlarge_tree(client, args.input, args.output, args.ratio, args.quality,
                                args.strip, args.format, args.skip_existing, progress)
    if not args.quiet and sys.stderr.isatty():
        print(file=sys.stderr)
    for source, why in failures:
        print(f"dask_enlarge: {why}", file=sys.stderr)
    if not args.quiet:
        print(f"dask_enlarge: done in {time.monotonic() - start:.1f} s, "
              f"{len(failures)} failed", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    status = main()
    # Nothing is left to close (the cluster is shut, every output renamed into
    # place), so the process ends without the interpreter's tearing down of
    # Dask's modules one by one, which takes a quarter of a second.
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(status)
