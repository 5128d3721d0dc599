"""The IDL compiler's model of a library: constants with their Windows values, the
declarations the parser builds and the error every stage reports."""

# ---- Variant types and flags (Windows values) ----
VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH = 2, 3, 4, 5, 6, 7, 8, 9
VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN = 10, 11, 12, 13
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_INT, VT_UINT = 16, 17, 18, 19, 22, 23
VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, VT_USERDEFINED = 24, 25, 26, 27, 29

TKIND_ENUM, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS = 0, 3, 4, 5
INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF = 1, 2, 4, 8
PARAMFLAG_FIN, PARAMFLAG_FOUT, PARAMFLAG_FRETVAL = 0x1, 0x2, 0x8
IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FSOURCE, IMPLTYPEFLAG_FRESTRICTED = 0x1, 0x2, 0x4

TYPEFLAG = {"appobject": 0x1, "licensed": 0x4, "hidden": 0x10, "control": 0x20,
            "dual": 0x40, "nonextensible": 0x80, "oleautomation": 0x100}
TYPEFLAG_FCANCREATE, TYPEFLAG_FDISPATCHABLE = 0x2, 0x1000
FUNCFLAG = {"restricted": 0x1, "source": 0x2, "bindable": 0x4, "requestedit": 0x8,
            "displaybind": 0x10, "defaultbind": 0x20, "hidden": 0x40}
LIBFLAG = {"restricted": 0x1, "control": 0x2, "hidden": 0x4}

# First automatic DISPID, used for members declared without [id(n)].
AUTO_DISPID_BASE = 0x60020000

TLB_MAGIC = b"QELVTLB\x1a"
TLB_FORMAT_MAJOR = 1
TLB_FORMAT_MINOR = 0

# Base types: IDL spelling -> (C++ spelling, variant type). Interface types must be used
# through a pointer; their pointer level is folded into VT_DISPATCH / VT_UNKNOWN.
BASE_TYPES = {
    "short": ("SHORT", VT_I2),
    "long": ("LONG", VT_I4),
    "int": ("INT", VT_INT),
    "float": ("FLOAT", VT_R4),
    "double": ("DOUBLE", VT_R8),
    "char": ("CHAR", VT_I1),
    "unsigned char": ("BYTE", VT_UI1),
    "BYTE": ("BYTE", VT_UI1),
    "unsigned short": ("USHORT", VT_UI2),
    "unsigned long": ("ULONG", VT_UI4),
    "unsigned int": ("UINT", VT_UINT),
    "VARIANT_BOOL": ("VARIANT_BOOL", VT_BOOL),
    "BSTR": ("BSTR", VT_BSTR),
    "VARIANT": ("VARIANT", VT_VARIANT),
    "DATE": ("DATE", VT_DATE),
    "CURRENCY": ("CY", VT_CY),
    "SCODE": ("SCODE", VT_ERROR),
    "OLE_COLOR": ("OLE_COLOR", VT_UI4),
    "HRESULT": ("HRESULT", VT_HRESULT),
    "void": ("void", VT_VOID),
}
INTERFACE_TYPES = {"IDispatch": VT_DISPATCH, "IFontDisp": VT_DISPATCH, "IUnknown": VT_UNKNOWN}
SAFEARRAY_ELEMENTS = {"short", "long", "int", "float", "double", "char", "unsigned char", "BYTE",
                      "unsigned short", "unsigned long", "unsigned int", "VARIANT_BOOL", "BSTR",
                      "VARIANT", "DATE", "CURRENCY", "SCODE", "OLE_COLOR"}


class IdlError(Exception):
    def __init__(self, path, line, message):
        super().__init__(f"{path}:{line}: error: {message}")


# ---- Tokens ----


# ---- Model ----

class TypeRef:
    """A parameter or result type: base name, SAFEARRAY element, pointer level."""

    def __init__(self, base, safearray=False, pointers=0, line=0):
        self.base = base            # IDL base type name, enum name or interface name
        self.safearray = safearray  # SAFEARRAY(base)
        self.pointers = pointers
        self.line = line

    def idl(self):
        core = f"SAFEARRAY({self.base})" if self.safearray else self.base
        return core + "*" * self.pointers


class Param:
    def __init__(self, name, type_, flags, line):
        self.name, self.type, self.flags, self.line = name, type_, flags, line


class Func:
    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.memid = None
        self.invkind = INVOKE_FUNC
        self.flags = 0
        self.doc = ""
        self.helpcontext = 0
        self.result = None
        self.params = []


class Var:
    def __init__(self, name, line):
        self.name, self.line = name, line
        self.memid = None
        self.doc = ""
        self.flags = 0
        self.type = None


class TypeDef:
    def __init__(self, kind, name, line):
        self.kind = kind
        self.name = name
        self.line = line
        self.uuid = None
        self.doc = ""
        self.helpcontext = 0
        self.flags = 0
        self.version = (0, 0)
        self.constants = []   # enum: (name, value, doc, line)
        self.base = None      # interface: base name
        self.funcs = []
        self.vars = []        # dispinterface properties
        self.impls = []       # coclass: (name, flags, line)
        self.index = -1


class Library:
    def __init__(self):
        self.name = None
        self.uuid = None
        self.version = (0, 0)
        self.lcid = 0
        self.doc = ""
        self.helpfile = ""
        self.helpcontext = 0
        self.flags = 0
        self.types = []
        self.line = 0


def name_needs_uuid(kind):
    return kind in (TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS)
