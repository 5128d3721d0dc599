"""Preprocessing and tokenizing of resource scripts (see rcc.py): comments, #define,
#ifdef / #ifndef / #if 0|1 / #if defined(X) / #else / #endif, string literals with the
resource compiler's escapes ("" for a quote), numbers with L / U suffixes."""

import re

# Macros the Windows resource compiler defines while it reads a script.
PREDEFINED_MACROS = {"RC_INVOKED"}


class RcError(Exception):
    def __init__(self, path, line, message):
        super().__init__(f"{path}:{line}: error: {message}")


class Token:
    __slots__ = ("kind", "text", "value", "line")

    def __init__(self, kind, text, line, value=None):
        self.kind, self.text, self.line, self.value = kind, text, line, value


def parse_string_literal(path, line, body, wide):
    """Decodes the inside of an .rc string literal ("" is a quote, backslash escapes)."""
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == '"' and i + 1 < len(body) and body[i + 1] == '"':
            out.append('"')
            i += 2
        elif c == "\\" and i + 1 < len(body):
            e = body[i + 1]
            simple = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "\\": "\\", '"': '"', "'": "'"}
            if e in simple:
                out.append(simple[e])
                i += 2
            elif e in "xX":
                m = re.match(r"[0-9A-Fa-f]{1,4}" if wide else r"[0-9A-Fa-f]{1,2}", body[i + 2:])
                if not m:
                    raise RcError(path, line, "malformed \\x escape")
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
            elif e in "01234567":
                m = re.match(r"[0-7]{1,3}", body[i + 1:])
                out.append(chr(int(m.group(0), 8)))
                i += 1 + len(m.group(0))
            else:
                out.append(e)
                i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def tokenize(path, text, defines):
    """Tokens of the script after preprocessing (conditionals, #define, comments)."""
    tokens = []
    active = [True]      # stack of "this branch is compiled"
    taken = [True]       # stack of "some branch of this #if was taken"
    lines = text.split("\n")
    in_comment = False
    for lineno, raw in enumerate(lines, 1):
        line = raw
        # Block comments may span lines.
        if in_comment:
            end = line.find("*/")
            if end < 0:
                continue
            line = " " * (end + 2) + line[end + 2:]
            in_comment = False
        stripped = line.strip()
        if stripped.startswith("#"):
            directive = stripped[1:].strip()
            word, _, rest = directive.partition(" ")
            rest = rest.split("//")[0].strip()
            if word in ("ifdef", "ifndef"):
                defined = rest in defines or rest in PREDEFINED_MACROS
                cond = defined if word == "ifdef" else not defined
                active.append(active[-1] and cond)
                taken.append(cond)
            elif word == "if":
                expr = rest.replace(" ", "")
                m = re.fullmatch(r"(!?)defined\(?(\w+)\)?", expr)
                if m:
                    cond = (m.group(2) in defines or m.group(2) in PREDEFINED_MACROS) != bool(m.group(1))
                elif re.fullmatch(r"\d+", expr):
                    cond = int(expr) != 0
                else:
                    raise RcError(path, lineno, f"unsupported #if expression '{rest}'")
                active.append(active[-1] and cond)
                taken.append(cond)
            elif word == "else":
                if len(active) == 1:
                    raise RcError(path, lineno, "#else without #if")
                active[-1] = active[-2] and not taken[-1]
                taken[-1] = True
            elif word == "endif":
                if len(active) == 1:
                    raise RcError(path, lineno, "#endif without #if")
                active.pop()
                taken.pop()
            elif not active[-1]:
                pass
            elif word in ("include", "pragma"):
                pass  # headers only hold #defines the script does not need here
            elif word == "undef":
                defines.pop(rest, None)
            elif word == "define":
                name, _, value = rest.partition(" ")
                value = value.strip()
                defines[name] = value
            else:
                raise RcError(path, lineno, f"unsupported preprocessor directive '#{word}'")
            continue
        if not active[-1]:
            continue
        i, n = 0, len(line)
        while i < n:
            c = line[i]
            if c in " \t\r":
                i += 1
            elif line.startswith("//", i):
                break
            elif line.startswith("/*", i):
                end = line.find("*/", i + 2)
                if end < 0:
                    in_comment = True
                    break
                i = end + 2
            elif c == '"' or (c in "Ll" and i + 1 < n and line[i + 1] == '"'):
                wide = c != '"'
                j = i + (2 if wide else 1)
                while True:
                    if j >= n:
                        raise RcError(path, lineno, "unterminated string literal")
                    if line[j] == "\\":
                        j += 2
                        continue
                    if line[j] == '"':
                        if j + 1 < n and line[j + 1] == '"':
                            j += 2
                            continue
                        break
                    j += 1
                body = line[i + (2 if wide else 1):j]
                tokens.append(Token("str", body, lineno, parse_string_literal(path, lineno, body, wide)))
                i = j + 1
            elif c.isdigit():
                m = re.match(r"(0[xX][0-9A-Fa-f]+|\d+)[lLuU]*", line[i:])
                tokens.append(Token("num", m.group(0), lineno, int(m.group(1), 0)))
                i += len(m.group(0))
            elif c.isalpha() or c == "_":
                m = re.match(r"[A-Za-z_][A-Za-z0-9_.]*", line[i:])
                tokens.append(Token("id", m.group(0), lineno))
                i += len(m.group(0))
            elif c in ",{}|()-+~":
                tokens.append(Token("punct", c, lineno))
                i += 1
            else:
                raise RcError(path, lineno, f"unexpected character {c!r}")
    if len(active) != 1:
        raise RcError(path, len(lines), "missing #endif")
    tokens.append(Token("eof", "", len(lines)))
    return tokens
