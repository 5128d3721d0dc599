"""Tokenizer and parser for the IDL subset (see idlc.py)."""

import re

from idl_model import *  # noqa: F401,F403  (constants and model classes)
from token_cursor import TokenCursor


class Token:
    __slots__ = ("kind", "text", "line")

    def __init__(self, kind, text, line):
        self.kind = kind    # "id", "num", "str", "uuid", "punct", "eof"
        self.text = text
        self.line = line

    def __repr__(self):
        return f"{self.kind}:{self.text!r}@{self.line}"


PUNCT = set("[](){};,*:=-.<>|&+~")
UUID_RE = re.compile(r"\s*([0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12})\s*\)")


def tokenize(path, text):
    tokens = []
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif c in " \t\r\f\v":
            i += 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            if j < 0:
                raise IdlError(path, line, "unterminated /* comment")
            line += text.count("\n", i, j)
            i = j + 2
        elif c == "#":
            # Preprocessor lines (#include, #define) are not part of the subset.
            raise IdlError(path, line, "preprocessor directives are not supported")
        elif c == '"':
            j, out = i + 1, []
            while True:
                if j >= n or text[j] == "\n":
                    raise IdlError(path, line, "unterminated string literal")
                if text[j] == "\\" and j + 1 < n:
                    esc = text[j + 1]
                    out.append({"n": "\n", "t": "\t", "\\": "\\", '"': '"'}.get(esc, esc))
                    j += 2
                    continue
                if text[j] == '"':
                    break
                out.append(text[j])
                j += 1
            tokens.append(Token("str", "".join(out), line))
            i = j + 1
        elif c.isalpha() or c == "_":
            j = i
            while j < n and (text[j].isalnum() or text[j] == "_"):
                j += 1
            word = text[i:j]
            tokens.append(Token("id", word, line))
            i = j
            if word == "uuid":
                # A uuid is not a valid token sequence on its own (it starts with digits and
                # has dashes), so read it raw here.
                k = i
                while k < n and text[k] in " \t":
                    k += 1
                if k < n and text[k] == "(":
                    m = UUID_RE.match(text, k + 1)
                    if not m:
                        raise IdlError(path, line, "malformed uuid: expected uuid(xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx)")
                    tokens.append(Token("punct", "(", line))
                    tokens.append(Token("uuid", m.group(1), line))
                    tokens.append(Token("punct", ")", line))
                    i = m.end()
        elif c.isdigit():
            j = i
            while j < n and (text[j].isalnum() or text[j] in "._"):
                j += 1
            tokens.append(Token("num", text[i:j], line))
            i = j
        elif c in PUNCT:
            tokens.append(Token("punct", c, line))
            i += 1
        else:
            raise IdlError(path, line, f"unexpected character {c!r}")
    tokens.append(Token("eof", "", line))
    return tokens


# ---- Parser ----

class Parser(TokenCursor):
    def __init__(self, path, text):
        super().__init__(path, tokenize(path, text), IdlError)

    # Token helpers
    def at(self, text, kind=None):
        t = self.peek()
        return t.text == text and (kind is None or t.kind == kind) and t.kind != "str"

    def accept(self, text):
        if self.at(text):
            return self.next()
        return None

    def expect(self, text, what=None):
        t = self.peek()
        if t.text != text or t.kind == "str":
            found = "end of file" if t.kind == "eof" else repr(t.text)
            raise self.error(f"expected {what or repr(text)}, found {found}")
        return self.next()

    def ident(self, what="identifier"):
        t = self.peek()
        if t.kind != "id":
            found = "end of file" if t.kind == "eof" else repr(t.text)
            raise self.error(f"expected {what}, found {found}")
        return self.next()

    def string(self, what="string literal"):
        t = self.peek()
        if t.kind != "str":
            raise self.error(f"expected {what}")
        return self.next().text

    def integer(self, what="integer"):
        neg = bool(self.accept("-"))
        t = self.peek()
        if t.kind != "num":
            raise self.error(f"expected {what}")
        self.next()
        try:
            value = int(t.text, 0)
        except ValueError:
            raise self.error(f"malformed number {t.text!r}", t.line)
        value = -value if neg else value
        return value, t.line

    # Attributes: [name, name(args), ...] -> list of (name, value, line)
    def attributes(self):
        attrs = []
        if not self.accept("["):
            return attrs
        while True:
            t = self.ident("attribute name")
            name, value = t.text, None
            if self.accept("("):
                value = self.attribute_value(name, t.line)
                self.expect(")", "')' after attribute value")
            attrs.append((name, value, t.line))
            if self.accept("]"):
                return attrs
            self.expect(",", "',' or ']' in attribute list")

    def attribute_value(self, name, line):
        t = self.peek()
        if name == "uuid":
            if t.kind != "uuid":
                raise self.error("malformed uuid")
            return self.next().text
        if name in ("helpstring", "helpfile"):
            return self.string(f"string in {name}(...)")
        if name == "version":
            if t.kind != "num" or not re.fullmatch(r"\d+(\.\d+)?", t.text):
                raise self.error("version must look like version(major.minor)")
            self.next()
            major, _, minor = t.text.partition(".")
            major, minor = int(major), int(minor or "0")
            if major > 0xFFFF or minor > 0xFFFF:
                raise self.error("version numbers must fit in 16 bits", t.line)
            return (major, minor)
        if name in ("id", "lcid", "helpcontext"):
            value, _ = self.integer(f"number in {name}(...)")
            return value
        if name == "pointer_default":
            return self.ident("pointer kind").text
        raise self.error(f"attribute '{name}' does not take a value", line)

    def check_attrs(self, attrs, allowed, where):
        for name, value, line in attrs:
            if name not in allowed:
                raise self.error(f"attribute '{name}' is not supported on {where}", line)
            takes_value = name in ("uuid", "helpstring", "helpfile", "version", "id", "lcid",
                                   "helpcontext", "pointer_default")
            if takes_value and value is None:
                raise self.error(f"attribute '{name}' needs a value", line)

    # File level
    def parse(self):
        lib = None
        while self.peek().kind != "eof":
            if self.at("import"):
                self.import_line()
                continue
            if self.accept(";"):
                continue
            attrs = self.attributes()
            t = self.peek()
            if t.text == "library" and t.kind == "id":
                if lib is not None:
                    raise self.error("only one library block is supported")
                lib = self.library(attrs)
            elif t.kind == "eof":
                raise self.error("attributes at end of file")
            else:
                raise self.error(f"unexpected {t.text!r} outside the library block "
                                 "(only import lines and one library block are supported)")
        if lib is None:
            raise IdlError(self.path, self.peek().line, "no library block found")
        return lib

    def import_line(self):
        self.expect("import")
        while True:
            t = self.peek()
            if t.kind != "str":
                raise self.error("expected a file name string after import")
            self.next()
            if not self.accept(","):
                break
        self.expect(";", "';' after import")

    def library(self, attrs):
        lib = Library()
        lib.line = self.expect("library").line
        self.check_attrs(attrs, {"uuid", "version", "lcid", "helpstring", "helpfile", "helpcontext",
                                 "restricted", "control", "hidden"}, "a library")
        for name, value, line in attrs:
            if name == "uuid":
                lib.uuid = value
            elif name == "version":
                lib.version = value
            elif name == "lcid":
                if not 0 <= value <= 0xFFFFFFFF:
                    raise self.error("lcid out of range", line)
                lib.lcid = value
            elif name == "helpstring":
                lib.doc = value
            elif name == "helpfile":
                lib.helpfile = value
            elif name == "helpcontext":
                lib.helpcontext = value & 0xFFFFFFFF
            else:
                lib.flags |= LIBFLAG[name]
        lib.name = self.ident("library name").text
        if lib.uuid is None:
            raise self.error("library needs a uuid attribute", lib.line)
        self.expect("{", "'{' after the library name")
        while not self.accept("}"):
            if self.peek().kind == "eof":
                raise self.error("missing '}' at the end of the library block")
            if self.at("importlib"):
                self.next()
                self.expect("(")
                self.string("type library file name")
                self.expect(")")
                self.expect(";", "';' after importlib(...)")
                continue
            if self.accept(";"):
                continue
            if self.at("typedef"):
                lib.types.append(self.typedef())
                continue
            attrs = self.attributes()
            t = self.ident("'interface', 'dispinterface', 'coclass' or 'typedef'")
            if t.text == "interface":
                td = self.interface(attrs, t.line)
            elif t.text == "dispinterface":
                td = self.dispinterface(attrs, t.line)
            elif t.text == "coclass":
                td = self.coclass(attrs, t.line)
            elif t.text in ("enum", "struct", "union", "module", "const"):
                raise self.error(f"'{t.text}' declarations are not supported here "
                                 "(enums must be typedef'd)", t.line)
            else:
                raise self.error(f"unexpected '{t.text}' in the library block", t.line)
            if td is not None:
                lib.types.append(td)
        self.accept(";")
        return lib

    def type_attrs(self, td, attrs, allowed, where):
        self.check_attrs(attrs, allowed, where)
        for name, value, line in attrs:
            if name == "uuid":
                td.uuid = value
            elif name == "helpstring":
                td.doc = value
            elif name == "helpcontext":
                td.helpcontext = value & 0xFFFFFFFF
            elif name == "version":
                td.version = value
            elif name in TYPEFLAG:
                td.flags |= TYPEFLAG[name]
        if name_needs_uuid(td.kind) and td.uuid is None:
            raise self.error(f"{td.name or 'declaration'} needs a uuid attribute", td.line)

    def typedef(self):
        line = self.expect("typedef").line
        attrs = self.attributes()
        if not self.at("enum"):
            raise self.error("only typedef'd enums are supported")
        self.next()
        tag = None
        if self.peek().kind == "id":
            tag = self.next().text
        td = TypeDef(TKIND_ENUM, tag, line)
        self.check_attrs(attrs, {"uuid", "helpstring", "helpcontext", "version", "hidden"}, "an enum")
        self.expect("{", "'{' to open the enum")
        value = -1
        while not self.accept("}"):
            t = self.ident("enumerator name")
            if self.accept("="):
                value, vline = self.integer("enumerator value")
                if not -0x80000000 <= value <= 0xFFFFFFFF:
                    raise self.error(f"value of {t.text} does not fit in 32 bits", vline)
                if value > 0x7FFFFFFF:
                    value -= 0x100000000
            else:
                value += 1
                if value > 0x7FFFFFFF:
                    raise self.error(f"value of {t.text} does not fit in 32 bits", t.line)
            td.constants.append((t.text, value, "", t.line))
            if not self.accept(","):
                self.expect("}", "',' or '}' after an enumerator")
                break
        name = self.ident("typedef name").text
        self.expect(";", "';' after the typedef")
        if tag is not None and tag != name:
            raise self.error(f"enum tag '{tag}' and typedef name '{name}' differ; use one name", line)
        td.name = name
        td.line = line
        self.type_attrs(td, attrs, {"uuid", "helpstring", "helpcontext", "version", "hidden"}, "an enum")
        return td

    def interface(self, attrs, line):
        name = self.ident("interface name").text
        if self.accept(";"):
            return None  # forward declaration
        td = TypeDef(TKIND_INTERFACE, name, line)
        self.type_attrs(td, attrs, {"object", "uuid", "dual", "oleautomation", "helpstring", "helpcontext",
                                    "pointer_default", "hidden", "nonextensible", "version", "local"},
                        "an interface")
        if not any(a[0] == "object" for a in attrs):
            raise self.error(f"interface {name} must have the 'object' attribute", line)
        if self.accept(":"):
            td.base = self.ident("base interface name").text
        else:
            raise self.error(f"interface {name} must derive from IDispatch or IUnknown", line)
        self.expect("{", "'{' to open the interface")
        while not self.accept("}"):
            if self.peek().kind == "eof":
                raise self.error(f"missing '}}' at the end of interface {name}")
            td.funcs.append(self.method(self.attributes(), dispatch=False))
        self.accept(";")
        return td

    def dispinterface(self, attrs, line):
        name = self.ident("dispinterface name").text
        if self.accept(";"):
            return None
        td = TypeDef(TKIND_DISPATCH, name, line)
        self.type_attrs(td, attrs, {"uuid", "helpstring", "helpcontext", "hidden", "nonextensible",
                                    "version"}, "a dispinterface")
        self.expect("{", "'{' to open the dispinterface")
        self.expect("properties", "'properties:'")
        self.expect(":")
        while not self.at("methods"):
            if self.peek().kind == "eof" or self.at("}"):
                raise self.error("expected 'methods:' in the dispinterface")
            vattrs = self.attributes()
            vline = self.peek().line
            type_ = self.type_ref()
            var = Var(self.ident("property name").text, vline)
            var.type = type_
            self.expect(";", "';' after the property")
            self.check_attrs(vattrs, {"id", "helpstring", "hidden", "readonly", "bindable", "restricted"},
                             "a property")
            for aname, value, _ in vattrs:
                if aname == "id":
                    var.memid = value
                elif aname == "helpstring":
                    var.doc = value
                elif aname == "readonly":
                    var.flags |= 0x1
                elif aname == "hidden":
                    var.flags |= 0x40
                elif aname == "bindable":
                    var.flags |= 0x4
                elif aname == "restricted":
                    var.flags |= 0x80
            td.vars.append(var)
        self.expect("methods")
        self.expect(":")
        while not self.accept("}"):
            if self.peek().kind == "eof":
                raise self.error(f"missing '}}' at the end of dispinterface {name}")
            td.funcs.append(self.method(self.attributes(), dispatch=True))
        self.accept(";")
        return td

    def coclass(self, attrs, line):
        name = self.ident("coclass name").text
        td = TypeDef(TKIND_COCLASS, name, line)
        self.type_attrs(td, attrs, {"uuid", "helpstring", "helpcontext", "control", "hidden", "licensed",
                                    "appobject", "noncreatable", "version"}, "a coclass")
        if not any(a[0] == "noncreatable" for a in attrs):
            td.flags |= TYPEFLAG_FCANCREATE
        self.expect("{", "'{' to open the coclass")
        while not self.accept("}"):
            if self.peek().kind == "eof":
                raise self.error(f"missing '}}' at the end of coclass {name}")
            iattrs = self.attributes()
            self.check_attrs(iattrs, {"default", "source", "restricted"}, "a coclass member")
            t = self.ident("'interface' or 'dispinterface'")
            if t.text not in ("interface", "dispinterface"):
                raise self.error(f"expected 'interface' or 'dispinterface', found '{t.text}'", t.line)
            iname = self.ident("interface name")
            self.expect(";", "';' after the coclass member")
            flags = 0
            for aname, _, _ in iattrs:
                flags |= {"default": IMPLTYPEFLAG_FDEFAULT, "source": IMPLTYPEFLAG_FSOURCE,
                          "restricted": IMPLTYPEFLAG_FRESTRICTED}[aname]
            td.impls.append((iname.text, flags, iname.line))
        self.accept(";")
        return td

    def type_ref(self):
        line = self.peek().line
        t = self.ident("type name")
        if t.text == "SAFEARRAY":
            self.expect("(", "'(' after SAFEARRAY")
            inner = self.type_ref()
            self.expect(")", "')' to close SAFEARRAY(...)")
            if inner.safearray or inner.pointers:
                raise self.error("SAFEARRAY elements must be plain types", line)
            ref = TypeRef(inner.base, True, 0, line)
        elif t.text == "unsigned":
            word = self.ident("'char', 'short', 'int' or 'long' after 'unsigned'").text
            ref = TypeRef("unsigned " + word, False, 0, line)
        elif t.text in ("const", "struct", "enum", "union"):
            raise self.error(f"'{t.text}' in a type is not supported", line)
        else:
            ref = TypeRef(t.text, False, 0, line)
        while self.accept("*"):
            ref.pointers += 1
        return ref

    def method(self, attrs, dispatch):
        line = self.peek().line
        result = self.type_ref()
        f = Func(self.ident("method name").text, line)
        f.result = result
        self.check_attrs(attrs, {"id", "helpstring", "helpcontext", "propget", "propput", "propputref",
                                 "restricted", "source", "bindable", "requestedit", "displaybind",
                                 "defaultbind", "hidden"}, "a method")
        kinds = [a[0] for a in attrs if a[0] in ("propget", "propput", "propputref")]
        if len(kinds) > 1:
            raise self.error(f"{f.name}: only one of propget, propput, propputref", line)
        for name, value, _ in attrs:
            if name == "id":
                if not -0x80000000 <= value <= 0xFFFFFFFF:
                    raise self.error(f"{f.name}: id out of range", line)
                f.memid = value - 0x100000000 if value > 0x7FFFFFFF else value
            elif name == "helpstring":
                f.doc = value
            elif name == "helpcontext":
                f.helpcontext = value & 0xFFFFFFFF
            elif name == "propget":
                f.invkind = INVOKE_PROPERTYGET
            elif name == "propput":
                f.invkind = INVOKE_PROPERTYPUT
            elif name == "propputref":
                f.invkind = INVOKE_PROPERTYPUTREF
            else:
                f.flags |= FUNCFLAG[name]
        self.expect("(", f"'(' after {f.name}")
        if self.at("void") and self.peek(1).text == ")":
            self.next()
        if not self.accept(")"):
            while True:
                pattrs = self.attributes()
                pline = self.peek().line
                self.check_attrs(pattrs, {"in", "out", "retval"}, "a parameter")
                ptype = self.type_ref()
                pname = self.ident("parameter name").text
                flags = 0
                for name, _, _ in pattrs:
                    flags |= {"in": PARAMFLAG_FIN, "out": PARAMFLAG_FOUT, "retval": PARAMFLAG_FRETVAL}[name]
                if not flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT):
                    flags |= PARAMFLAG_FIN
                f.params.append(Param(pname, ptype, flags, pline))
                if self.accept(")"):
                    break
                self.expect(",", "',' or ')' in the parameter list")
        self.expect(";", f"';' after {f.name}(...)")
        return f
