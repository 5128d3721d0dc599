"""A cursor over a token list, shared by the IDL and resource-script parsers.

Tokens have `kind` ("eof" for the last one) and `line`; the parser names the
exception type its errors take (a file path, a line and a message).
"""


class TokenCursor:
    def __init__(self, path, toks, error_type):
        self.path = path
        self.toks = toks
        self.pos = 0
        self.error_type = error_type

    def peek(self, k=0):
        return self.toks[min(self.pos + k, len(self.toks) - 1)]

    def next(self):
        t = self.peek()
        if t.kind != "eof":
            self.pos += 1
        return t

    def error(self, message, line=None):
        return self.error_type(self.path, self.peek().line if line is None else line, message)
