#!/usr/bin/env python3
"""Resource compiler for the Linux build of QelvSonalter2.

Reads a Windows resource script (the same .rc file the Windows resource compiler takes) and
writes a C++ source that embeds every resource and registers them, from a static
initializer, for the module (shared object or executable) it is linked into. FindResourceW,
LoadResource and LoadStringW in the platform layer then serve them.

Understood: #include / #pragma lines (skipped), #define NAME number, #ifdef / #ifndef / #if 0|1
/ #else / #endif, LANGUAGE, "id TYPE file" lines (TYPELIB, REGISTRY and other named types,
BITMAP, ICON, CURSOR, RCDATA), STRINGTABLE and VERSIONINFO blocks. Resources are laid out as
on Windows: string tables as RT_STRING blocks of 16 length-prefixed UTF-16 strings, version
information as the VS_VERSIONINFO structure, bitmaps without their file header, icons and
cursors split into images plus a group directory.
Errors are reported as "file:line: error: message" (exit status 1, no output written).
"""

import argparse
import os
import re
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches

from rc_lex import RcError, tokenize  # noqa: E402
from token_cursor import TokenCursor  # noqa: E402

RT_CURSOR, RT_BITMAP, RT_ICON, RT_STRING, RT_RCDATA = 1, 2, 3, 6, 10
RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION = 12, 14, 16

DEFAULT_LANGUAGE = 0x0409
PREDEFINED = {
    "VS_VERSION_INFO": 1, "VS_FFI_FILEFLAGSMASK": 0x3F, "VS_FF_DEBUG": 0x1, "VS_FF_PRERELEASE": 0x2,
    "VS_FF_PATCHED": 0x4, "VS_FF_PRIVATEBUILD": 0x8, "VS_FF_INFOINFERRED": 0x10, "VS_FF_SPECIALBUILD": 0x20,
    "VOS_UNKNOWN": 0, "VOS_NT": 0x40000, "VOS__WINDOWS32": 0x4, "VOS_NT_WINDOWS32": 0x40004,
    "VFT_UNKNOWN": 0, "VFT_APP": 1, "VFT_DLL": 2, "VFT_DRV": 3, "VFT_FONT": 4, "VFT_STATIC_LIB": 7,
    "VFT2_UNKNOWN": 0, "LANG_NEUTRAL": 0, "LANG_ENGLISH": 0x09, "SUBLANG_NEUTRAL": 0,
    "SUBLANG_DEFAULT": 1, "SUBLANG_ENGLISH_US": 1, "SUBLANG_SYS_DEFAULT": 2,
}
NAMED_TYPES = {"BITMAP": RT_BITMAP, "ICON": RT_ICON, "CURSOR": RT_CURSOR, "RCDATA": RT_RCDATA}
KNOWN_VALUE_KEYS = {"FILEVERSION", "PRODUCTVERSION", "FILEFLAGSMASK", "FILEFLAGS", "FILEOS", "FILETYPE",
                    "FILESUBTYPE"}


class Resource:
    def __init__(self, type_, name, language, data, line):
        self.type = type_   # int or upper-case str
        self.name = name    # int or upper-case str
        self.language = language
        self.data = data
        self.line = line


class Parser(TokenCursor):
    def __init__(self, path, text, search_dirs, defines):
        self.defines = dict(defines)
        super().__init__(path, tokenize(path, text, self.defines), RcError)
        self.search_dirs = [os.path.dirname(os.path.abspath(path))] + list(search_dirs)
        self.language = DEFAULT_LANGUAGE
        self.resources = []
        self.strings = {}       # id -> (text, language, line)
        self.dependencies = []
        self.next_image_id = 1  # ids of icon and cursor images, shared as rc does

    def at_word(self, *words):
        t = self.peek()
        return t.kind == "id" and t.text.upper() in words

    def accept_punct(self, p):
        t = self.peek()
        if t.kind == "punct" and t.text == p:
            self.next()
            return True
        return False

    def begin(self):
        if self.accept_punct("{") or (self.at_word("BEGIN") and self.next()):
            return
        raise self.error("expected BEGIN or '{'")

    def at_end(self):
        t = self.peek()
        return (t.kind == "punct" and t.text == "}") or (t.kind == "id" and t.text.upper() == "END")

    def end(self):
        if not self.at_end():
            raise self.error("expected END or '}'")
        self.next()

    def resolve(self, name, line, seen=()):
        """Value of a #define'd or predefined name, or None."""
        if name in self.defines:
            value = self.defines[name].strip().rstrip("lLuU")
            if name in seen:
                raise self.error(f"recursive definition of {name}", line)
            value = value.strip("()")
            if re.fullmatch(r"0[xX][0-9A-Fa-f]+|\d+", value):
                return int(value, 0)
            if re.fullmatch(r"[A-Za-z_]\w*", value):
                return self.resolve(value, line, seen + (name,))
            return None
        return PREDEFINED.get(name)

    def number(self, what="number"):
        """A constant expression: terms joined with |, +, - (and unary -, ~)."""
        value = self.term(what)
        while True:
            t = self.peek()
            if t.kind == "punct" and t.text in "|+-":
                self.next()
                rhs = self.term(what)
                value = value | rhs if t.text == "|" else value + rhs if t.text == "+" else value - rhs
            else:
                return value

    def term(self, what):
        t = self.next()
        if t.kind == "punct" and t.text == "-":
            return -self.term(what)
        if t.kind == "punct" and t.text == "~":
            return ~self.term(what)
        if t.kind == "punct" and t.text == "(":
            value = self.number(what)
            if not self.accept_punct(")"):
                raise self.error("expected ')'")
            return value
        if t.kind == "num":
            return t.value
        if t.kind == "id":
            value = self.resolve(t.text, t.line)
            if value is not None:
                return value
            raise self.error(f"unknown name '{t.text}' where a {what} is expected", t.line)
        raise self.error(f"expected a {what}", t.line)

    def name_or_id(self, t):
        if t.kind == "num":
            value = t.value
        else:
            value = self.resolve(t.text, t.line)
            if value is None:
                return t.text.upper()
        if not 0 <= value <= 0xFFFF:
            raise self.error("resource ids must be between 0 and 65535", t.line)
        return value

    def find_file(self, name, line):
        for d in self.search_dirs:
            candidate = os.path.join(d, name)
            if os.path.isfile(candidate):
                return candidate
        if os.path.isabs(name) and os.path.isfile(name):
            return name
        raise self.error(f"cannot find file '{name}' (looked in {', '.join(self.search_dirs)})", line)

    def read_file(self, name, line):
        path = self.find_file(name.replace("\\", "/"), line)
        if os.path.abspath(path) not in self.dependencies:
            self.dependencies.append(os.path.abspath(path))
        with open(path, "rb") as fh:
            return fh.read()

    def add(self, type_, name, data, line):
        for r in self.resources:
            if r.type == type_ and r.name == name and r.language == self.language:
                raise self.error(f"resource {name} of type {type_} is defined twice", line)
        self.resources.append(Resource(type_, name, self.language, data, line))

    def parse(self):
        while self.peek().kind != "eof":
            t = self.peek()
            if t.kind == "id" and t.text.upper() == "LANGUAGE":
                self.next()
                primary = self.number("language")
                if not self.accept_punct(","):
                    raise self.error("expected ',' in LANGUAGE")
                sub = self.number("sublanguage")
                self.language = ((sub & 0x3F) << 10) | (primary & 0x3FF)
                continue
            if t.kind == "id" and t.text.upper() == "STRINGTABLE":
                self.next()
                self.string_table()
                continue
            if t.kind not in ("id", "num"):
                raise self.error(f"expected a resource id, found {t.text!r}")
            self.next()
            kind = self.next()
            if kind.kind != "id":
                raise self.error("expected a resource type after the id", kind.line)
            type_name = kind.text.upper()
            name = self.name_or_id(t)
            if type_name == "VERSIONINFO":
                self.add(RT_VERSION, name, self.version_info(), t.line)
            elif type_name in ("DIALOG", "DIALOGEX", "MENU", "MENUEX", "ACCELERATORS", "TOOLBAR", "DESIGNINFO",
                               "TEXTINCLUDE"):
                raise self.error(f"{type_name} resources are not supported", kind.line)
            else:
                self.file_resource(type_name, name, t.line)
        self.flush_strings()
        return self.resources

    def skip_options(self):
        # Memory options (PRELOAD, DISCARDABLE, ...) mean nothing here.
        while self.at_word("PRELOAD", "LOADONCALL", "FIXED", "MOVEABLE", "DISCARDABLE", "PURE", "IMPURE",
                           "SHARED", "NONSHARED"):
            self.next()

    def file_resource(self, type_name, name, line):
        self.skip_options()
        f = self.next()
        if f.kind != "str":
            raise self.error(f"expected a file name after {type_name}", f.line)
        data = self.read_file(f.value, f.line)
        if type_name == "BITMAP":
            # The resource holds the bitmap without its 14-byte file header.
            if len(data) < 14 or data[:2] != b"BM":
                raise self.error(f"'{f.value}' is not a bitmap file", f.line)
            self.add(RT_BITMAP, name, data[14:], line)
        elif type_name in ("ICON", "CURSOR"):
            self.icon_group(type_name == "CURSOR", name, data, f.value, f.line)
        elif type_name in NAMED_TYPES:
            self.add(NAMED_TYPES[type_name], name, data, line)
        else:
            self.add(type_name, name, data, line)

    def icon_group(self, cursor, name, data, filename, line):
        """Splits an .ico / .cur file into image resources and a group directory."""
        if len(data) < 6:
            raise self.error(f"'{filename}' is not an icon or cursor file", line)
        reserved, kind, count = struct.unpack_from("<HHH", data, 0)
        if reserved != 0 or kind != (2 if cursor else 1) or count == 0 or len(data) < 6 + 16 * count:
            raise self.error(f"'{filename}' is not a valid {'cursor' if cursor else 'icon'} file", line)
        group = struct.pack("<HHH", 0, kind, count)
        for i in range(count):
            width, height, colors, _, a, b, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
            if offset + size > len(data) or size < 1:
                raise self.error(f"'{filename}': image {i} lies outside the file", line)
            image = data[offset:offset + size]
            planes, bits = 1, 0
            if len(image) >= 16 and image[:4] != b"\x89PNG":
                planes, bits = struct.unpack_from("<HH", image, 12)
            image_id = self.next_image_id
            self.next_image_id += 1
            if cursor:
                # a, b are the hot spot; the resource starts with it.
                self.add(RT_CURSOR, image_id, struct.pack("<HH", a, b) + image, line)
                group += struct.pack("<HHHHIH", width or 256, (height or 256) * 2, planes, bits, size + 4, image_id)
            else:
                self.add(RT_ICON, image_id, image, line)
                group += struct.pack("<BBBBHHIH", width, height, colors, 0, a or planes, b or bits, size, image_id)
        self.add(RT_GROUP_CURSOR if cursor else RT_GROUP_ICON, name, group, line)

    def string_table(self):
        self.skip_options()
        while self.at_word("LANGUAGE", "CHARACTERISTICS", "VERSION"):
            word = self.next().text.upper()
            if word == "LANGUAGE":
                primary = self.number("language")
                self.accept_punct(",")
                sub = self.number("sublanguage")
                self.language = ((sub & 0x3F) << 10) | (primary & 0x3FF)
            else:
                self.number(word.lower())
        self.begin()
        while not self.at_end():
            if self.peek().kind == "eof":
                raise self.error("missing END of STRINGTABLE")
            line = self.peek().line
            sid = self.number("string id")
            self.accept_punct(",")
            s = self.next()
            if s.kind != "str":
                raise self.error("expected a string", s.line)
            text = s.value
            while self.peek().kind == "str":  # adjacent literals join
                text += self.next().value
            if not 0 <= sid <= 0xFFFF:
                raise self.error("string ids must be between 0 and 65535", line)
            if sid in self.strings:
                raise self.error(f"string {sid} is defined twice", line)
            self.strings[sid] = (text, self.language, line)
        self.end()

    def flush_strings(self):
        blocks = {}
        for sid, (text, language, line) in self.strings.items():
            blocks.setdefault((sid >> 4, language), {})[sid & 15] = (text, line)
        for (block, language), entries in sorted(blocks.items()):
            data = bytearray()
            for i in range(16):
                text = entries.get(i, ("", 0))[0]
                units = text.encode("utf-16-le")
                if len(units) // 2 > 0xFFFF:
                    raise self.error("string too long", entries[i][1])
                data += struct.pack("<H", len(units) // 2) + units
            saved = self.language
            self.language = language
            self.add(RT_STRING, block + 1, bytes(data), min(line for _, line in entries.values()))
            self.language = saved

    def version_info(self):
        fixed = {k: 0 for k in KNOWN_VALUE_KEYS}
        fixed["FILEFLAGSMASK"] = 0x3F
        while self.peek().kind == "id" and self.peek().text.upper() in KNOWN_VALUE_KEYS:
            key = self.next().text.upper()
            if key in ("FILEVERSION", "PRODUCTVERSION"):
                parts = [self.number("version number")]
                while self.accept_punct(","):
                    parts.append(self.number("version number"))
                if len(parts) > 4 or any(not 0 <= p <= 0xFFFF for p in parts):
                    raise self.error(f"{key} takes up to four numbers between 0 and 65535")
                parts += [0] * (4 - len(parts))
                fixed[key] = parts
            else:
                fixed[key] = self.number(key.lower()) & 0xFFFFFFFF
        for key in ("FILEVERSION", "PRODUCTVERSION"):
            if fixed[key] == 0:
                fixed[key] = [0, 0, 0, 0]
        self.begin()
        children = []
        while not self.at_end():
            children.append(self.version_block())
        self.end()
        fv, pv = fixed["FILEVERSION"], fixed["PRODUCTVERSION"]
        value = struct.pack("<13I", 0xFEEF04BD, 0x00010000, (fv[0] << 16) | fv[1], (fv[2] << 16) | fv[3],
                            (pv[0] << 16) | pv[1], (pv[2] << 16) | pv[3], fixed["FILEFLAGSMASK"],
                            fixed["FILEFLAGS"], fixed["FILEOS"], fixed["FILETYPE"], fixed["FILESUBTYPE"], 0, 0)
        return version_node("VS_VERSION_INFO", value, len(value), 0, children)

    def version_block(self):
        t = self.next()
        word = t.text.upper() if t.kind == "id" else ""
        if word == "BLOCK":
            key = self.next()
            if key.kind != "str":
                raise self.error("expected the block name", key.line)
            self.begin()
            children = []
            while not self.at_end():
                if self.peek().kind == "eof":
                    raise self.error("missing END of BLOCK")
                children.append(self.version_block())
            self.end()
            return version_node(key.value, b"", 0, 1, children)
        if word == "VALUE":
            key = self.next()
            if key.kind != "str":
                raise self.error("expected the value name", key.line)
            if not self.accept_punct(","):
                raise self.error("expected ',' after the value name")
            if self.peek().kind == "str":
                text = self.next().value
                while self.peek().kind == "str":
                    text += self.next().value
                data = (text + "\0").encode("utf-16-le")
                return version_node(key.value, data, len(data) // 2, 1, [])
            words = [self.number("value")]
            while self.accept_punct(","):
                words.append(self.number("value"))
            data = b"".join(struct.pack("<H", w & 0xFFFF) for w in words)
            return version_node(key.value, data, len(data), 0, [])
        raise self.error("expected BLOCK or VALUE", t.line)


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def version_node(key, value, value_length, value_type, children):
    """One node of the version structure: length, value length, type, key, value, children,
    each part aligned to 4 bytes; the length leaves out the trailing padding."""
    body = pad4(struct.pack("<HHH", 0, value_length, value_type) + (key + "\0").encode("utf-16-le"))
    body += value
    for child in children:
        body = pad4(body) + child
    return struct.pack("<H", len(body)) + body[2:]


# ---- Output ----

def wide_literal(text):
    # Escaped characters get their own literal so a following hex digit is not swallowed.
    pieces, plain = [], ""
    for ch in text:
        if ch.isascii() and (ch.isalnum() or ch in "_ .-"):
            plain += ch
        else:
            if plain:
                pieces.append(f'u"{plain}"')
                plain = ""
            for unit in struct.unpack(f"<{len(ch.encode('utf-16-le')) // 2}H", ch.encode("utf-16-le")):
                pieces.append(f'u"\\x{unit:04x}"')
    if plain or not pieces:
        pieces.append(f'u"{plain}"')
    return " ".join(pieces)


def byte_array(name, data):
    lines = [f"alignas(8) const unsigned char {name}[] = {{"]
    payload = data if data else b"\0"
    for i in range(0, len(payload), 16):
        lines.append("    " + ", ".join(f"0x{b:02x}" for b in payload[i:i + 16]) + ",")
    lines.append("};")
    return lines


def write_cpp(resources, rc_name):
    out = [f"// Generated by rcc.py from {rc_name}. Do not edit.",
           "#include <qelvsonalter2/platform/restable.h>", "", "namespace {", ""]
    for i, r in enumerate(resources):
        out += byte_array(f"kResource{i}", r.data)
    out += ["", "const QELV_RESOURCE kTable[] = {"]
    for i, r in enumerate(resources):
        tname, tid = (wide_literal(r.type), 0) if isinstance(r.type, str) else ("nullptr", r.type)
        name, nid = (wide_literal(r.name), 0) if isinstance(r.name, str) else ("nullptr", r.name)
        out.append(f"    {{{tname}, {tid}, {name}, {nid}, 0x{r.language:04x}, kResource{i}, {len(r.data)}}},")
    if not resources:
        out.append("    {nullptr, 0, nullptr, 0, 0, nullptr, 0},")
    out += ["};", "",
            "// Registers the table for the module this file is linked into while it is loaded.",
            "struct Registration {",
            f"    Registration() {{ QelvRegisterModuleResources(kTable, kTable, {len(resources)}); }}",
            "    ~Registration() { QelvUnregisterModuleResources(kTable, kTable); }",
            "    Registration(const Registration&) = delete;",
            "    Registration& operator=(const Registration&) = delete;",
            "};",
            "const Registration kRegistration;", "", "}  // namespace", ""]
    return "\n".join(out)


def write_file(path, text):
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as fh:
        fh.write(text)
    os.replace(tmp, path)


def depfile_escape(path):
    return path.replace("\\", "/").replace(" ", "\\ ").replace("#", "\\#").replace("$", "$$")


def main(argv=None):
    ap = argparse.ArgumentParser(description="Compile a resource script into a C++ source.")
    ap.add_argument("rc")
    ap.add_argument("--output", "-o", required=True)
    ap.add_argument("--search", action="append", default=[], help="extra directory for resource files")
    ap.add_argument("--define", "-D", action="append", default=[], help="NAME[=value] for #ifdef and ids")
    ap.add_argument("--depfile", help="write the files read, for the build system")
    args = ap.parse_args(argv)
    defines = {}
    for d in args.define:
        name, _, value = d.partition("=")
        defines[name] = value or "1"
    try:
        try:
            with open(args.rc, encoding="utf-8-sig") as fh:
                text = fh.read()
        except OSError as e:
            raise RcError(args.rc, 0, f"cannot read: {e.strerror}")
        except UnicodeDecodeError:
            raise RcError(args.rc, 0, "not UTF-8 text")
        parser = Parser(args.rc, text, args.search, defines)
        resources = parser.parse()
    except RcError as e:
        print(e, file=sys.stderr)
        return 1
    try:
        write_file(args.output, write_cpp(resources, os.path.basename(args.rc)))
        if args.depfile:
            deps = " ".join(depfile_escape(p) for p in [os.path.abspath(args.rc)] + parser.dependencies)
            write_file(args.depfile, f"{depfile_escape(os.path.abspath(args.output))}: {deps}\n")
    except OSError as e:
        print(f"{e.filename}: error: cannot write: {e.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
