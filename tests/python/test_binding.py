"""The Python binding against the component: members from the type library,
in-place and returned arrays, events, cancel, errors, reference counts."""

import ctypes
import gc
import os
import signal
import sys
import unittest

import numpy

import qelvsonalter2 as q


def fresh():
    s = q.Sonalter2()
    s.SmoothLeftEnabled = False
    s.SmoothRightEnabled = False
    return s


class Members(unittest.TestCase):
    def test_properties_methods_and_docstrings_come_from_the_type_library(self):
        s = q.Sonalter2()
        self.assertEqual(s.ArrayFrequency, 44100)
        self.assertTrue(s.SmoothLeftEnabled)
        s.SmoothTime = 10
        self.assertEqual(s.SmoothTime, 10)
        self.assertIn("AmpLeft", s.Fade.__doc__)
        self.assertEqual(list(__import__("inspect").signature(s.Fade).parameters), ["WavArray", "AmpLeft", "AmpRight"])
        self.assertTrue(repr(s.Fade).startswith("<bound method Sonalter2.Fade of"), repr(s.Fade))
        with self.assertRaises(AttributeError):
            s.NoSuchThing = 1
        with self.assertRaises(AttributeError):
            s.LastErrorNum = 3  # get only

    def test_set_format_from_a_data_rate_pair(self):
        s = q.Sonalter2()
        q.set_format(s, (numpy.zeros((10, 2), dtype=numpy.int16), 22050))
        self.assertEqual((s.ArrayFrequency, s.ArrayChannels), (22050, 2))


class Arrays(unittest.TestCase):
    def test_in_place_without_copy_and_same_result_as_keyword_call(self):
        s = fresh()
        a = numpy.arange(-1000, 1000, dtype=numpy.int16)
        address = a.ctypes.data
        returned = s.Amplify(a, 150)
        self.assertIs(returned, a)
        self.assertEqual(a.ctypes.data, address)
        expected = numpy.trunc(numpy.clip(numpy.arange(-1000, 1000) * numpy.float32(1.5), -32767, 32767))
        numpy.testing.assert_array_equal(a, expected.astype(numpy.int16))
        b = numpy.arange(-1000, 1000, dtype=numpy.int16)
        s.Amplify(WavArray=b, Amp=150)
        numpy.testing.assert_array_equal(a, b)

    def test_returned_arrays_and_float_results(self):
        s = fresh()
        stereo = numpy.array([1, -1, 2, -2, 3, -3], dtype=numpy.int16)
        numpy.testing.assert_array_equal(s.GetLeftStereoChannel(stereo), [1, 2, 3])
        numpy.testing.assert_array_equal(s.GetRightStereoChannel(stereo), [-1, -2, -3])
        self.assertIsInstance(s.PercentToDB(50.0), float)
        copy = s.DuplicateArray(stereo)
        self.assertEqual(copy.dtype, numpy.int16)
        self.assertNotEqual(copy.ctypes.data, stereo.ctypes.data)

    def test_wrong_dtype_or_layout_raises_type_error_saying_what_to_pass(self):
        s = fresh()
        with self.assertRaisesRegex(TypeError, "int16"):
            s.Invert(numpy.zeros(10))
        # Byte-swapped 16-bit integers are not native ones.
        with self.assertRaisesRegex(TypeError, "int16"):
            s.Invert(numpy.zeros(10, dtype=">i2"))
        # A ctypes buffer's int16 dtype is a distinct but equivalent object:
        # accepted, and changed in place.
        samples = numpy.ctypeslib.as_array((ctypes.c_int16 * 3)(1, -2, 3))
        s.Invert(samples)
        numpy.testing.assert_array_equal(samples, [-1, 2, -3])
        with self.assertRaisesRegex(TypeError, "C-contiguous"):
            s.Invert(numpy.zeros(20, dtype=numpy.int16)[::2])
        with self.assertRaisesRegex(TypeError, "one-dimensional"):
            s.Invert(numpy.zeros((4, 4), dtype=numpy.int16))
        readonly = numpy.zeros(10, dtype=numpy.int16)
        readonly.flags.writeable = False
        with self.assertRaises(TypeError):
            s.Invert(readonly)
        # Arguments bound by name, and scalars of the wrong type, are refused
        # with the parameter's name; nothing is changed.
        a = numpy.arange(4, dtype=numpy.int16)
        for call, message in ((lambda: s.Fade(a, AmpLeft=50), "missing .*'AmpRight'"),
                              (lambda: s.Fade(a, 50, AmpLeft=50, AmpRight=1), "multiple values .*'AmpLeft'"),
                              (lambda: s.Amplify(a, Gain=2), "unexpected keyword .*'Gain'"),
                              (lambda: s.Amplify(a, "2"), "Amp must be a float")):
            with self.assertRaisesRegex(TypeError, message):
                call()
        numpy.testing.assert_array_equal(a, [0, 1, 2, 3])

    def test_no_leak_over_many_calls(self):
        s = fresh()
        a = numpy.ones(64, dtype=numpy.int16)
        for _ in range(200):
            s.GetLeftStereoChannel(a)
        gc.collect()
        before = sys.gettotalrefcount() if hasattr(sys, "gettotalrefcount") else None
        refs = sys.getrefcount(a)
        for _ in range(10000):
            s.Invert(a)
            s.GetLeftStereoChannel(a)
        gc.collect()
        self.assertEqual(sys.getrefcount(a), refs)
        if before is not None:
            self.assertLess(abs(sys.gettotalrefcount() - before), 100)


class Events(unittest.TestCase):
    def test_progress_end_and_cancel_from_the_callback(self):
        s = fresh()
        seen = []
        s.on_progress = seen.append
        s.on_end = lambda: seen.append("end")
        a = numpy.full(1000, 100, dtype=numpy.int16)
        s.Invert(a)
        self.assertEqual(seen, list(range(100)) + ["end"])

        seen.clear()

        def stop(percent):
            seen.append(percent)
            if percent == 10:
                s.cancel()

        s.on_progress = stop
        b = numpy.full(1000, 100, dtype=numpy.int16)
        s.Invert(b)
        self.assertEqual(int((b == -100).sum()), 102)
        self.assertNotIn("end", seen)

    def test_an_exception_in_a_callback_cancels_and_is_raised_after_the_call(self):
        s = fresh()

        def fail(percent):
            if percent == 3:
                raise RuntimeError("stop here")

        s.on_progress = fail
        a = numpy.full(1000, 7, dtype=numpy.int16)
        with self.assertRaisesRegex(RuntimeError, "stop here"):
            s.Invert(a)
        self.assertEqual(int((a == -7).sum()), 32)  # samples 0 .. 31

    def test_ctrl_c_cancels_the_call_and_raises_keyboard_interrupt(self):
        s = fresh()
        s.on_progress = lambda p: os.kill(os.getpid(), signal.SIGINT) if p == 5 else None
        a = numpy.full(1000, 9, dtype=numpy.int16)
        with self.assertRaises(KeyboardInterrupt):
            s.Invert(a)
        self.assertEqual(int((a == -9).sum()), 52)


class Errors(unittest.TestCase):
    def test_failures_raise_error_with_number_status_and_description(self):
        s = fresh()
        with self.assertRaises(q.Error) as caught:
            s.Invert(numpy.zeros(1, dtype=numpy.int16))
        self.assertEqual(caught.exception.number, -20)
        self.assertEqual(caught.exception.hresult, 0x8004030B)
        self.assertEqual(caught.exception.description, "Invalid parameter(argument).")
        self.assertEqual(s.LastErrorNum, -20)


if __name__ == "__main__":
    unittest.main()


class Display(unittest.TestCase):
    def test_the_control_draws_its_points_and_saves_the_picture_as_png(self):
        import struct
        import tempfile
        import zlib

        d = q.SonalterDisplay2()
        d.ScaleXVisible = False
        d.ScaleYVisible = False
        d.SplineType = 0
        d.GridVisible = False
        points = numpy.array([0, -20, 11025, 20, 22050, -20], dtype=numpy.float32)
        d.SetPointArray(points)
        picture = d.render(201, 101)
        self.assertEqual(picture.shape, (101, 201, 3))
        self.assertEqual(picture.dtype, numpy.uint8)
        # The markers (yellow) at the top centre and the bottom corners only,
        # the background (black) in the top corners, the curve (green) between.
        yellow = numpy.all(picture == [255, 255, 0], axis=2)
        self.assertTrue(yellow[0:4, 97:103].any())
        self.assertTrue(yellow[97:, 0:4].any())
        self.assertFalse(yellow[10:90, :].any())
        self.assertTrue(numpy.all(picture[0:20, 0:10] == 0))
        green = numpy.all(picture == [0x40, 0xFF, 0x40], axis=2)
        self.assertTrue(green[40:60, 40:60].any())

        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "curve.png")
            d.save_png(path, 201, 101)
            with open(path, "rb") as f:
                data = f.read()
            self.assertEqual(os.listdir(folder), ["curve.png"])
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", data[16:24]), (201, 101))
        # Rows are stored unfiltered, so the image data is the picture itself.
        start = data.index(b"IDAT") + 4
        length = struct.unpack(">I", data[start - 8:start - 4])[0]
        rows = zlib.decompress(data[start:start + length])
        decoded = numpy.frombuffer(rows, dtype=numpy.uint8).reshape(101, 1 + 201 * 3)[:, 1:].reshape(101, 201, 3)
        self.assertTrue(numpy.array_equal(decoded, picture))

        with self.assertRaises(ValueError):
            d.render(0, 10)
