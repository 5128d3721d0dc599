"""Every method of both classes through the binding gives what the same call
through IDispatch::Invoke from C++ gives (dispatch_reference prints those calls and
their results): the status, the sample arrays after the call and the returned
value, bit for bit."""

import multiprocessing
import os
import subprocess
import unittest

import numpy


def parse(reference):
    """The reference's inputs ({"tone": samples, "steps"/"rising": floats})
    and its calls, each {"call": [class, name, kinds, floats, base, hresult, scode],
    "after": {parameter: samples}, "result": words}."""
    inputs, calls = {}, []
    for line in reference.splitlines():
        words = line.split()
        if words[0] == "tone":
            inputs["tone"] = numpy.array([int(w) for w in words[2:]], dtype=numpy.int16)
        elif words[0] == "floats":
            inputs[words[1]] = numpy.array([float.fromhex(w) for w in words[3:]], dtype=numpy.float32)
        elif words[0] == "call":
            calls.append({"call": words[1:], "after": {}, "result": None})
        elif words[0] == "after":
            calls[-1]["after"][int(words[1])] = numpy.array([int(w) for w in words[3:]], dtype=numpy.int16)
        else:
            calls[-1]["result"] = words[1:]
    return inputs, calls


def replay(reference):
    """Makes the reference's calls through the binding in its order, each on a
    fresh object; run in a fresh process, since a process keeps the state of
    the pitch shifter and of the noise generator from one call to the next.
    Returns the methods that worked and the calls whose outcome differs."""
    import qelvsonalter2

    inputs, calls = parse(reference)
    worked, differ = set(), []
    for call in calls:
        cls, name, kinds, floats, base, hresult, scode = call["call"]
        values = {"s": inputs["tone"], "a": inputs[floats], "f": float.fromhex(base), "l": 1, "b": True}
        args = [values[k].copy() if k == "s" else values[k] for k in kinds.strip("-")]
        expected = int(scode, 16) if int(hresult, 16) == 0x80020009 else int(hresult, 16)
        try:
            returned, status = getattr(getattr(qelvsonalter2, cls)(), name)(*args), 0
        except qelvsonalter2.Error as error:
            returned, status = None, error.hresult
        # What came back: the value and a replaced in/out array, or only one.
        value, replaced = returned if isinstance(returned, tuple) else (returned, None)
        if call["result"][0] == "none" and not isinstance(returned, tuple):
            value, replaced = None, returned
        after = {i: replaced if i == 0 and replaced is not None else args[i] for i in call["after"]}
        kind, data = call["result"][0], call["result"][1:]
        if kind == "float":
            same_value = value == float.fromhex(data[0])
        elif kind in ("samples", "floats"):
            dtype, convert = (numpy.int16, int) if kind == "samples" else (numpy.float32, float.fromhex)
            want = numpy.array([convert(w) for w in data[1:]], dtype=dtype)
            same_value = isinstance(value, numpy.ndarray) and value.dtype == dtype and numpy.array_equal(value, want)
        else:
            same_value = status != 0 or value is None
        same_arrays = all(numpy.array_equal(after[i], samples) for i, samples in call["after"].items())
        if status != expected or not same_value or not same_arrays:
            differ.append("%s.%s (%s arrays, base %s): status %08X for %08X, value %s, arrays %s"
                          % (cls, name, floats, base, status, expected, same_value, same_arrays))
        elif status == 0:
            worked.add(cls + "." + name)
    return sorted({"%s.%s" % tuple(c["call"][:2]) for c in calls}), sorted(worked), differ


class RoundTrips(unittest.TestCase):
    def test_every_method_gives_what_the_same_call_from_cpp_gives(self):
        tool = os.path.join(os.environ.get("QELV_BIN", ""), "dispatch_reference")
        if not os.path.exists(tool):
            self.skipTest("dispatch_reference is not built")
        reference = subprocess.run([tool], capture_output=True, text=True, check=True).stdout
        with multiprocessing.get_context("spawn").Pool(1) as pool:
            methods, worked, differ = pool.apply(replay, (reference,))
        self.assertEqual(differ, [])
        self.assertGreaterEqual(len(methods), 45 + 6)
        self.assertEqual(worked, methods)


if __name__ == "__main__":
    unittest.main()
