#!/usr/bin/env python3
"""Writes the display control's reference property streams, byte by byte from
the documented layout (docs/methods/display.md), independently of the code:

  default.bin    a new control's stream
  changed.bin    every property changed (see CHANGED below)
  contents.stg   changed.bin as the stream "Contents" of the platform's storage
                 file format

Run from this directory: python3 make_golden.py
"""
import struct
import uuid

VT_I4, VT_R4, VT_BSTR, VT_DISPATCH, VT_BOOL, VT_UI4 = 3, 4, 8, 9, 11, 19

STDFONT = uuid.UUID("0BE35203-8F91-11CE-9DE3-00AA004BB851").bytes_le


def font(name, size, weight=400, charset=0, flags=0):
    data = name.encode("ascii")
    return STDFONT + struct.pack("<BHBHIB", 1, charset, flags, weight, size, len(data)) + data


def text(s):
    if s is None:
        return struct.pack("<I", 0)
    data = s.encode("utf-16-le") + b"\0\0"
    return struct.pack("<I", len(data)) + data


def stream(p):
    out = struct.pack("<III", 0x700, p["cx"], p["cy"])
    for vt, value in [
        (VT_UI4, p["BorderColor"]), (VT_UI4, p["BackColor"]), (VT_UI4, p["GridColor"]),
        (VT_UI4, p["ScaleColor"]), (VT_UI4, p["TextColor"]), (VT_UI4, p["Color"]),
        (VT_BOOL, p["GridVisible"]), (VT_BOOL, p["ScaleXVisible"]), (VT_BOOL, p["ScaleYVisible"]),
        (VT_I4, p["BorderStyle"]), (VT_DISPATCH, p["Font"]), (VT_I4, p["LineArraySize"]),
        (VT_UI4, p["PointColor"]), (VT_I4, p["SplineEnable"]),
        (VT_R4, p["ScaleXMax"]), (VT_R4, p["ScaleYMax"]), (VT_R4, p["ScaleXMin"]), (VT_R4, p["ScaleYMin"]),
        (VT_BOOL, p["LogScale"]), (VT_BSTR, p["ScaleXCaption"]), (VT_BSTR, p["ScaleYCaption"]),
        (VT_I4, p["SplineSteepnes"]),
    ]:
        out += struct.pack("<H", vt)
        if vt == VT_UI4:
            out += struct.pack("<I", value)
        elif vt == VT_I4:
            out += struct.pack("<i", value)
        elif vt == VT_R4:
            out += struct.pack("<f", value)
        elif vt == VT_BOOL:
            out += struct.pack("<h", value)
        elif vt == VT_BSTR:
            out += text(value)
        else:
            out += value
    return out


DEFAULT = dict(
    cx=5080, cy=5080, BorderColor=0, BackColor=0, GridColor=0x707070, ScaleColor=0x8000000F,
    TextColor=0x80000012, Color=0x40FF40, GridVisible=1, ScaleXVisible=1, ScaleYVisible=1, BorderStyle=0,
    # "Small Fonts", 9 pixels (-MulDiv(7, 96, 72)) at 96 pixels per inch: 9 * 720000 / 96 = 67500
    Font=font("Small Fonts", 67500), LineArraySize=1024, PointColor=0xFFFF, SplineEnable=1,
    ScaleXMax=22050.0, ScaleYMax=20.0, ScaleXMin=0.0, ScaleYMin=-20.0, LogScale=0,
    ScaleXCaption="Hz", ScaleYCaption="dB", SplineSteepnes=32)

CHANGED = dict(
    cx=5080, cy=5080, BorderColor=0x112233, BackColor=0x80000005, GridColor=0x445566, ScaleColor=0x778899,
    TextColor=0xAABBCC, Color=0x0000FF, GridVisible=-1, ScaleXVisible=0, ScaleYVisible=-1, BorderStyle=7,
    # A 9-point font given through ScaleFont: the standard font object realises
    # it 12 pixels high at 96 pixels per inch, and 12 * 720000 / 96 = 90000 again;
    # bold and italic, saved as the standard font object saves itself.
    Font=font("Courier New", 90000, weight=700, flags=0x02), LineArraySize=512, PointColor=0x00FF00,
    SplineEnable=2, ScaleXMax=1000.0, ScaleYMax=1.5, ScaleXMin=10.0, ScaleYMin=-0.25, LogScale=-1,
    ScaleXCaption="Frequency", ScaleYCaption=None, SplineSteepnes=77)


def storage(name, data):
    """The platform's storage image: magic, root node (class, state bits,
    element count), one stream element."""
    node = bytes(16) + struct.pack("<II", 0, 1)
    encoded = name.encode("utf-16-le")
    node += struct.pack("<BH", 2, len(name)) + encoded + struct.pack("<Q", len(data)) + data
    return b"QELVSTG1" + node


if __name__ == "__main__":
    with open("default.bin", "wb") as f:
        f.write(stream(DEFAULT))
    with open("changed.bin", "wb") as f:
        f.write(stream(CHANGED))
    with open("contents.stg", "wb") as f:
        f.write(storage("Contents", stream(CHANGED)))
