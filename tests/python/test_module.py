"""The Python module velmora: arrays as numpy holds them, the same pixels as
the batch tool, every channel by the same rule, views and copies alike, clear
errors for what it does not take, and the interpreter free while it works."""
import os
import subprocess
import tempfile
import threading
import time
import unittest

import numpy as np
from PIL import Image

import velmora

TOOL = os.environ.get("VELMORA_ENLARGE", "velmora-enlarge")


def noise(shape, seed=3):
    return np.random.default_rng(seed).integers(0, 256, shape, dtype=np.uint8)


class EnlargedSize(unittest.TestCase):
    def test_follows_the_size_rule(self):
        self.assertEqual(velmora.enlarged_size(3, 2, 4.0), (11, 7))
        self.assertEqual(velmora.enlarged_size(29, 31, 2.5), (71, 76))
        self.assertEqual(velmora.enlarged_size(30, 30, 8.2), (245, 245))

    def test_refuses_a_ratio_out_of_range(self):
        for ratio in (1.0, 10.5, float("nan")):
            with self.assertRaisesRegex(ValueError, "VELMORA_E_ARGUMENT"):
                velmora.enlarged_size(3, 2, ratio)


class Enlarge(unittest.TestCase):
    def test_gives_the_batch_tools_pixels(self):
        rgb = noise((23, 37, 3))
        with tempfile.TemporaryDirectory() as folder:
            source, result = os.path.join(folder, "in.bmp"), os.path.join(folder, "out.bmp")
            Image.fromarray(rgb).save(source)
            subprocess.run([TOOL, "--ratio", "2.7", source, result], check=True)
            expected = np.asarray(Image.open(result).convert("RGB"))
        ours = velmora.enlarge(rgb, 2.7)
        self.assertEqual(ours.shape, (velmora.enlarged_size(37, 23, 2.7)[1],
                                      velmora.enlarged_size(37, 23, 2.7)[0], 3))
        np.testing.assert_array_equal(ours, expected)

    def test_enlarges_every_channel_by_the_same_rule(self):
        for channels in (3, 4):
            picture = noise((19, 21, channels))
            whole = velmora.enlarge(picture, 3.3)
            for c in range(channels):
                np.testing.assert_array_equal(whole[:, :, c],
                                              velmora.enlarge(picture[:, :, c].copy(), 3.3))

    def test_a_large_result_is_an_ordinary_array(self):
        # A large result lies in memory of its own: the same pixels, writable,
        # and kept alive by a view of it.
        picture = noise((120, 160, 3))
        whole = velmora.enlarge(picture, 10.0)
        self.assertTrue(whole.flags.writeable and whole.flags.c_contiguous)
        red = whole[:, :, 0]
        del whole
        np.testing.assert_array_equal(red, velmora.enlarge(picture[:, :, 0].copy(), 10.0))
        red[0, 0] = 7
        self.assertEqual(red[0, 0], 7)

    def test_takes_views_as_their_copies(self):
        big = noise((40, 60, 4))
        views = {
            "every other column": big[:, ::2, :3],
            "every other row": big[::2, :, :3],
            "upside down": big[::-1, :, :3],
            "transposed": big[:, :, :3].transpose(1, 0, 2),
            "a window": big[5:30, 7:50, :3],
            "gray columns": big[:, :, 1],
        }
        for name, view in views.items():
            with self.subTest(name):
                np.testing.assert_array_equal(velmora.enlarge(view, 1.9),
                                              velmora.enlarge(np.ascontiguousarray(view), 1.9))

    def test_threads_do_not_change_the_result(self):
        picture = noise((50, 70, 3))
        one = velmora.enlarge(picture, 6.1, threads=1)
        for threads in (0, 2, 3):
            np.testing.assert_array_equal(velmora.enlarge(picture, 6.1, threads=threads), one)

    def test_refuses_what_it_does_not_take_with_a_clear_error(self):
        cases = [
            (np.zeros((4, 4), np.float32), TypeError, "uint8"),
            (np.zeros((4, 4, 3), np.uint16), TypeError, "uint8"),
            (np.zeros((4,), np.uint8), ValueError, "shape"),
            (np.zeros((4, 4, 2), np.uint8), ValueError, "shape"),
            (np.zeros((0, 4, 3), np.uint8), ValueError, "at least one pixel"),
        ]
        for array, error, words in cases:
            with self.subTest(shape=array.shape, dtype=str(array.dtype)):
                with self.assertRaisesRegex(error, words):
                    velmora.enlarge(array, 2.0)
        with self.assertRaisesRegex(ValueError, "VELMORA_E_ARGUMENT"):
            velmora.enlarge(np.zeros((4, 4, 3), np.uint8), 11.0)
        with self.assertRaisesRegex(ValueError, "VELMORA_E_ARGUMENT"):
            velmora.enlarge(np.zeros((4, 4, 3), np.uint8), 2.0, threads=-1)

    def test_leaves_the_interpreter_free_while_it_works(self):
        picture = noise((600, 800, 3))
        ticks, done = [], threading.Event()

        def count():
            while not done.is_set():
                ticks.append(time.perf_counter())
                time.sleep(0.001)

        counter = threading.Thread(target=count)
        counter.start()
        start = time.perf_counter()
        velmora.enlarge(picture, 6.0, threads=1)
        end = time.perf_counter()
        done.set()
        counter.join()
        during = [t for t in ticks if start < t < end]
        self.assertGreater(len(during), 3, f"{end - start:.3f} s with {len(during)} ticks")

    def test_has_the_librarys_version(self):
        self.assertRegex(velmora.__version__, r"^\d+\.\d+\.\d+$")


class EnlargeFile(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.source = self.path("in.jpg")
        Image.fromarray(noise((31, 45, 3))).save(self.source, quality=90)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def test_writes_the_batch_tools_bytes(self):
        # (tool options, output name, enlarge_file keywords)
        cases = [
            ([], "a.jpg", {}),
            ([], "a.png", {}),
            ([], "a.bmp", {}),
            (["--quality", "75", "--strip"], "q.jpg", {"quality": 75, "strip": True}),
        ]
        for options, name, keywords in cases:
            with self.subTest(name=name):
                subprocess.run([TOOL, "--ratio", "2.3", *options, self.source, self.path("tool-" + name)],
                               check=True)
                velmora.enlarge_file(self.source, self.path("py-" + name), 2.3, **keywords)
                self.assertEqual(self.read("py-" + name), self.read("tool-" + name))

    def test_format_stands_for_the_outputs_ending_and_paths_may_be_bytes(self):
        velmora.enlarge_file(os.fsencode(self.source), self.path("out.data"), 1.5, format="PNG")
        self.assertEqual(self.read("out.data")[:8], b"\x89PNG\r\n\x1a\n")

    def test_refuses_with_the_tools_words_and_writes_nothing(self):
        cases = [
            (ValueError, "ratio 10.5", (self.source, self.path("x.jpg"), 10.5), {}),
            (ValueError, "quality 0", (self.source, self.path("x.jpg"), 2), {"quality": 0}),
            (ValueError, "gif", (self.source, self.path("x.jpg"), 2), {"format": "gif"}),
            (ValueError, "must end in", (self.source, self.path("x.gif"), 2), {}),
            (OSError, "No such file", (self.path("none.jpg"), self.path("x.jpg"), 2), {}),
            (OSError, "cannot write", (self.source, self.path("no/x.jpg"), 2), {}),
        ]
        for error, words, args, keywords in cases:
            with self.subTest(words=words), self.assertRaisesRegex(error, words):
                velmora.enlarge_file(*args, **keywords)
        self.assertEqual(sorted(os.listdir(self.folder.name)), ["in.jpg"])


if __name__ == "__main__":
    unittest.main()
