"""QelvSonalter2 from Python.

    import numpy, qelvsonalter2
    s = qelvsonalter2.Sonalter2()
    a = numpy.zeros(44100, dtype=numpy.int16)
    s.Amplify(a, Amp=150)          # in place, no copy
    help(s.Fade)                   # units from the type library

Every member of the component's type library is a method or property here, with
its parameter names as keyword arguments and its help string as docstring.
Sample arrays are numpy int16 arrays; an [in,out] array is changed in place
(it must be C-contiguous int16); methods that shorten, lengthen or replace it
return the new array. Float arrays come back as float32 arrays.
"""

import os as _os
import sys as _sys

from . import _core

try:
    from ._location import MODULE_PATH as _MODULE_PATH
except ImportError:  # pragma: no cover - a package without its generated file
    _MODULE_PATH = ""

__all__ = ["Sonalter2", "SonalterDisplay2", "Error", "set_format"]


class Error(Exception):
    """A failed call: `number` is the component's error number (e.g. -20),
    `hresult` the status, and the message the component's description."""

    def __init__(self, description, number=None, hresult=None):
        super().__init__(description)
        self.description = description
        self.number = number
        self.hresult = hresult

    def __str__(self):
        extra = []
        if self.number is not None:
            extra.append("error %d" % self.number)
        if self.hresult is not None:
            extra.append("status 0x%08X" % self.hresult)
        return "%s (%s)" % (self.description, ", ".join(extra)) if extra else self.description


_core.set_error_class(Error)

_EVENT_PROGRESS = 1
_EVENT_END = 2


def _describe(name, doc, params):
    lines = [doc or name, ""]
    for pname, kind, is_in, is_out, retval in params:
        role = "returns" if retval else ("in/out" if (is_in and is_out) else ("out" if is_out else "in"))
        lines.append("  %s: %s (%s)" % (pname, kind, role))
    return "\n".join(lines)


class _Component:
    """Base of the generated classes: one component object and its events."""

    _prog_id = None
    _CALLBACKS = ("on_progress", "on_end")

    def __init__(self):
        object.__setattr__(self, "_object", _core.Object(self._prog_id, _MODULE_PATH))
        for name in self._CALLBACKS:
            object.__setattr__(self, name, None)

    def _listen(self):
        """Events reach Python only while a callback is set: every transform
        ends with an event, which would otherwise run Python code for nothing
        (the component still hears Ctrl-C during a call without it)."""
        wanted = any(getattr(self, name) is not None for name in self._CALLBACKS)
        self._object.set_handler(self._event if wanted else None)

    def _event(self, dispid, args):
        if dispid == _EVENT_PROGRESS and self.on_progress is not None:
            self.on_progress(*args)
        elif dispid == _EVENT_END and self.on_end is not None:
            self.on_end()

    def cancel(self):
        """Asks the running call to stop (from inside an event callback)."""
        if hasattr(type(self), "CancelTransform"):
            self.CancelTransform()

    def __setattr__(self, name, value):
        if name in self._CALLBACKS:
            object.__setattr__(self, name, value)
            self._listen()
        elif name.startswith("_") or isinstance(getattr(type(self), name, None), property):
            object.__setattr__(self, name, value)
        else:
            raise AttributeError("%s has no member %r" % (type(self).__name__, name))


class _Display(_Component):
    """Base of the graphing control: its mouse events go to `on_event`, a
    callable taking the event's name and arguments, e.g. ("MouseDown", 10, 20)."""

    _EVENTS = {1: "MouseMove", 2: "MouseUp", 3: "MouseDown", 4: "MouseClick", 5: "MouseDblClick", 6: "ResetPoint"}
    _CALLBACKS = ("on_event",)

    def _event(self, dispid, args):
        if self.on_event is not None and dispid in self._EVENTS:
            self.on_event(self._EVENTS[dispid], *args)

    def render(self, width=192, height=192):
        """The control's picture as a (height, width, 3) uint8 RGB array, drawn
        as a host draws it without a window (through its view interface)."""
        import numpy
        bgrx = self._object.draw(int(width), int(height))
        return numpy.ascontiguousarray(bgrx[:, :, 2::-1])

    def save_png(self, path, width=192, height=192):
        """Writes the control's picture to a PNG file (atomically)."""
        rgb = self.render(width, height)
        _write_png(path, rgb)


def _write_png(path, rgb):
    import struct
    import zlib

    height, width = rgb.shape[0], rgb.shape[1]
    rows = b"".join(b"\x00" + rgb[y].tobytes() for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
    temporary = "%s.%d.tmp" % (path, _os.getpid())
    with open(temporary, "wb") as out:
        out.write(png)
    _os.replace(temporary, path)


def _build_class(class_name, prog_id):
    probe = _core.Object(prog_id, _MODULE_PATH)
    namespace = {"_prog_id": prog_id, "__doc__": "%s, created by program identifier %s." % (class_name, prog_id)}
    getters, putters = {}, {}
    for index, (name, kind, dispid, doc, params, result) in enumerate(probe.members()):
        if kind == "get":
            getters[name] = (index, doc)
        elif kind == "put":
            putters[name] = index
        else:
            namespace[name] = _core.member(probe, index, class_name, _describe(name, doc, params), as_method=True)
    for name in sorted(set(getters) | set(putters)):
        get_index, doc = getters.get(name, (None, ""))
        fget = _core.member(probe, get_index, class_name, doc, as_method=False) if get_index is not None else None
        fset = _core.member(probe, putters[name], class_name, doc, as_method=False) if name in putters else None
        namespace[name] = property(fget, fset, doc=doc)
    del probe
    base = _Display if class_name == "SonalterDisplay2" else _Component
    return type(class_name, (base,), namespace)


_classes = {}


def _class(class_name, prog_id):
    if class_name not in _classes:
        _classes[class_name] = _build_class(class_name, prog_id)
    return _classes[class_name]


def Sonalter2():
    """Creates the transform object (QelvSonalter2.Sonalter2)."""
    return _class("Sonalter2", "QelvSonalter2.Sonalter2")()


def SonalterDisplay2():
    """Creates the graphing control (QelvSonalter2.SonalterDisplay2)."""
    return _class("SonalterDisplay2", "QelvSonalter2.SonalterDisplay2")()


def set_format(obj, sound):
    """Sets ArrayFrequency and ArrayChannels from a (data, rate) pair as
    soundfile.read returns it: data of shape (frames,) or (frames, channels)."""
    data, rate = sound
    obj.ArrayFrequency = int(rate)
    obj.ArrayChannels = 1 if getattr(data, "ndim", 1) == 1 else int(data.shape[1])
