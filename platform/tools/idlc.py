#!/usr/bin/env python3
"""IDL compiler for the Linux build of QelvSonalter2.

Reads the interface definition (the same file the Windows IDL compiler takes) and writes
  - the C++ interface header (enums, interface structs, identifier declarations),
  - the identifier definitions (LIBID_, IID_, DIID_, CLSID_),
  - the binary type library that LoadTypeLibEx in the platform layer reads.

Only the part of the language the component uses is understood; anything else is reported
as "file:line: error: ..." and the compiler exits with status 1 without writing outputs.

The type library layout is described in idl_write.py.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

from idl_check import Resolver  # noqa: E402
from idl_model import IdlError  # noqa: E402
from idl_parse import Parser  # noqa: E402
from idl_write import write_header, write_iids, write_tlb  # noqa: E402


def write_file(path, data):
    """Writes data to path through a temporary file so a failed run leaves no half file."""
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    tmp = path + ".tmp"
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(tmp, mode, **({} if mode == "wb" else {"encoding": "utf-8", "newline": "\n"})) as fh:
        fh.write(data)
    os.replace(tmp, path)


def compile_idl(path):
    try:
        with open(path, encoding="utf-8") as fh:
            text = fh.read()
    except OSError as e:
        raise IdlError(path, 0, f"cannot read: {e.strerror}")
    except UnicodeDecodeError:
        raise IdlError(path, 0, "not UTF-8 text")
    lib = Parser(path, text).parse()
    Resolver(path, lib).run()
    return lib


def main(argv=None):
    ap = argparse.ArgumentParser(description="Compile an IDL file into a C++ header, identifier "
                                             "definitions and a type library.")
    ap.add_argument("idl")
    ap.add_argument("--header", help="C++ interface header to write")
    ap.add_argument("--iid", help="identifier definitions (.cpp) to write")
    ap.add_argument("--tlb", help="type library to write")
    args = ap.parse_args(argv)
    try:
        lib = compile_idl(args.idl)
    except IdlError as e:
        print(e, file=sys.stderr)
        return 1
    src_name = os.path.basename(args.idl)
    try:
        if args.header:
            write_file(args.header, write_header(lib, src_name))
        if args.iid:
            header_name = os.path.basename(args.header) if args.header else \
                os.path.splitext(src_name)[0] + ".h"
            write_file(args.iid, write_iids(lib, src_name, header_name))
        if args.tlb:
            write_file(args.tlb, write_tlb(lib))
    except OSError as e:
        print(f"{e.filename}: error: cannot write: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
