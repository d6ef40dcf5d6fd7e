"""The Dask example over a folder tree: every output the batch tool's bytes,
the tree kept, nothing partial or stray when a worker is killed halfway, a
damaged file listed as failed while the others are written."""
import os
import signal
import subprocess
import sys
import tempfile
import unittest

import numpy as np
from PIL import Image

sys.path.insert(0, os.environ["VELMORA_EXAMPLES"])
import dask_enlarge  # noqa: E402
from dask.distributed import Client  # noqa: E402

TOOL = os.environ.get("VELMORA_ENLARGE", "velmora-enlarge")


def tree(root):
    found = set()
    for folder, _, files in os.walk(root):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


class DaskTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cluster = dask_enlarge.local_cluster(2, silence_logs=50)
        cls.client = Client(cls.cluster)

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.cluster.close()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.input = os.path.join(self.folder.name, "photos")
        rng = np.random.default_rng(5)
        for i in range(200):
            name = os.path.join(self.input, f"{i // 50}", f"p{i:03}.jpg")
            os.makedirs(os.path.dirname(name), exist_ok=True)
            Image.fromarray(rng.integers(0, 256, (120, 160, 3), dtype=np.uint8)).save(name)
        self.expected = os.path.join(self.folder.name, "tool")
        subprocess.run([TOOL, "--ratio", "2", "--quiet", "-r", "--output-dir", self.expected,
                        self.input], check=True)

    def assert_same_as_the_tool(self, output):
        self.assertEqual(tree(output), tree(self.expected))
        for name in tree(self.expected):
            self.assertEqual(read(os.path.join(output, name)),
                             read(os.path.join(self.expected, name)), name)

    def test_a_worker_killed_halfway_leaves_every_output_whole_and_nothing_else(self):
        output = os.path.join(self.folder.name, "large")
        pids = list(self.client.run(os.getpid).values())
        killed = []

        def progress(done, total):
            if done == total // 4 and not killed:
                os.kill(pids[0], signal.SIGKILL)
                killed.append(done)

        failures = dask_enlarge.enlarge_tree(self.client, self.input, output, 2.0,
                                             progress=progress)
        self.assertEqual(failures, [])
        self.assertEqual(killed, [50])
        self.assert_same_as_the_tool(output)

    def test_a_damaged_file_fails_alone_and_existing_outputs_can_be_kept(self):
        with open(os.path.join(self.input, "0", "p000.jpg"), "r+b") as f:
            f.truncate(40)
        output = os.path.join(self.folder.name, "large")
        failures = dask_enlarge.enlarge_tree(self.client, self.input, output, 2.0)
        self.assertEqual([source for source, _ in failures],
                         [os.path.join(self.input, "0", "p000.jpg")])
        self.assertEqual(len(tree(output)), 199)
        # A second run that keeps what is there writes only what is missing
        # (here nothing: the damaged file fails again).
        before = os.stat(os.path.join(output, "1", "p050.jpg")).st_mtime_ns
        failures = dask_enlarge.enlarge_tree(self.client, self.input, output, 2.0,
                                             skip_existing=True)
        self.assertEqual(len(failures), 1)
        self.assertEqual(os.stat(os.path.join(output, "1", "p050.jpg")).st_mtime_ns, before)


if __name__ == "__main__":
    unittest.main()
