"""Checks of a parsed library (types, ids, accessors, references) and automatic DISPIDs."""

from idl_model import *  # noqa: F401,F403


# ---- Semantic checks and resolution ----

class Resolver:
    def __init__(self, path, lib):
        self.path = path
        self.lib = lib
        self.by_name = {}

    def error(self, line, message):
        return IdlError(self.path, line, message)

    def run(self):
        for i, td in enumerate(self.lib.types):
            td.index = i
            if td.name in self.by_name or td.name in BASE_TYPES or td.name in INTERFACE_TYPES:
                raise self.error(td.line, f"'{td.name}' is defined twice")
            self.by_name[td.name] = td
        constants = {}
        for td in self.lib.types:
            if td.kind == TKIND_ENUM:
                for name, _, _, line in td.constants:
                    if name in constants:
                        raise self.error(line, f"enumerator '{name}' is defined twice")
                    constants[name] = td
        for td in self.lib.types:
            if td.kind == TKIND_INTERFACE:
                self.check_interface(td)
            elif td.kind == TKIND_DISPATCH:
                self.check_dispinterface(td)
            elif td.kind == TKIND_COCLASS:
                self.check_coclass(td)

    def base_slots(self, td, seen=()):
        """Number of vtable slots before td's own methods."""
        if td.base == "IUnknown":
            return 3
        if td.base == "IDispatch":
            return 7
        base = self.by_name[td.base]
        return self.base_slots(base, seen + (td.name,)) + len(base.funcs)

    def check_type(self, ref, where, allow_void=False):
        base = ref.base
        if base in INTERFACE_TYPES:
            if ref.safearray:
                raise self.error(ref.line, f"{where}: SAFEARRAY({base}) is not supported")
            if ref.pointers < 1:
                raise self.error(ref.line, f"{where}: interface type {base} must be used through a pointer")
            return
        if ref.safearray:
            if base not in SAFEARRAY_ELEMENTS and not self.is_enum(base):
                raise self.error(ref.line, f"{where}: SAFEARRAY({base}) is not supported")
            return
        if base == "void":
            if not allow_void or ref.pointers:
                raise self.error(ref.line, f"{where}: 'void' is only allowed as a result type")
            return
        if base == "HRESULT":
            if not allow_void or ref.pointers:
                raise self.error(ref.line, f"{where}: 'HRESULT' is only allowed as a result type")
            return
        if base in BASE_TYPES:
            return
        td = self.by_name.get(base)
        if td is None:
            raise self.error(ref.line, f"{where}: unknown type '{base}'")
        if td.kind != TKIND_ENUM:
            raise self.error(ref.line, f"{where}: '{base}' cannot be used as a parameter type "
                                       "(only enums of this library and the listed interfaces are supported)")

    def is_enum(self, name):
        td = self.by_name.get(name)
        return td is not None and td.kind == TKIND_ENUM

    def check_params(self, f, owner):
        names = set()
        for i, p in enumerate(f.params):
            where = f"{owner}.{f.name} parameter '{p.name}'"
            if p.name.lower() in names:
                raise self.error(p.line, f"{where}: duplicate parameter name")
            names.add(p.name.lower())
            self.check_type(p.type, where)
            if p.flags & PARAMFLAG_FOUT and p.type.pointers < 1:
                raise self.error(p.line, f"{where}: [out] parameters must be pointers")
            if p.flags & PARAMFLAG_FRETVAL:
                if not p.flags & PARAMFLAG_FOUT or p.flags & PARAMFLAG_FIN:
                    raise self.error(p.line, f"{where}: [retval] needs [out] and not [in]")
                if i != len(f.params) - 1:
                    raise self.error(p.line, f"{where}: [retval] must be the last parameter")

    def assign_ids(self, td):
        """Checks the DISPIDs of td's members and numbers those declared without [id]."""
        used = {}
        auto = AUTO_DISPID_BASE
        by_name = {}
        for f in td.funcs:
            if f.memid is None:
                if f.invkind != INVOKE_FUNC and f.name.lower() in by_name:
                    f.memid = by_name[f.name.lower()]
                else:
                    while auto in used.values():
                        auto += 1
                    f.memid = auto
                    auto += 1
            key = (f.memid, f.invkind)
            for (memid, _), name in used.items():
                if memid == f.memid and name.lower() != f.name.lower():
                    raise self.error(f.line, f"{td.name}.{f.name}: id {f.memid} already belongs to {name}")
            if key in used:
                raise self.error(f.line, f"{td.name}.{f.name}: id {f.memid} is used twice for the same kind of member")
            used[key] = f.name
            if f.invkind != INVOKE_FUNC:
                prev = by_name.get(f.name.lower())
                if prev is not None and prev != f.memid:
                    raise self.error(f.line, f"{td.name}.{f.name}: property accessors must share one id")
                by_name[f.name.lower()] = f.memid

    def check_interface(self, td):
        if td.base not in ("IDispatch", "IUnknown"):
            base = self.by_name.get(td.base)
            if base is None or base.kind != TKIND_INTERFACE:
                raise self.error(td.line, f"{td.name}: unknown base interface '{td.base}'")
            if base.index >= td.index:
                raise self.error(td.line, f"{td.name}: base interface {td.base} must be defined first")
        dual = td.flags & TYPEFLAG["dual"]
        if dual:
            root = td
            while root.base not in ("IDispatch", "IUnknown"):
                root = self.by_name[root.base]
            if root.base != "IDispatch":
                raise self.error(td.line, f"{td.name}: a dual interface must derive from IDispatch")
            td.flags |= TYPEFLAG["oleautomation"]
        names = {}
        for f in td.funcs:
            if f.result.base not in ("HRESULT", "void") or f.result.pointers or f.result.safearray:
                raise self.error(f.line, f"{td.name}.{f.name}: methods must return HRESULT or void")
            if dual and f.result.base != "HRESULT":
                raise self.error(f.line, f"{td.name}.{f.name}: methods of a dual interface must return HRESULT")
            self.check_params(f, td.name)
            self.check_accessor(td, f)
            key = (f.name.lower(), f.invkind)
            if key in names:
                raise self.error(f.line, f"{td.name}.{f.name}: defined twice")
            names[key] = f
        self.assign_ids(td)

    def check_accessor(self, td, f):
        where = f"{td.name}.{f.name}"
        if f.invkind == INVOKE_PROPERTYGET:
            if not f.params or not f.params[-1].flags & PARAMFLAG_FRETVAL:
                raise self.error(f.line, f"{where}: a propget needs an [out, retval] parameter last")
            if any(p.flags & PARAMFLAG_FOUT for p in f.params[:-1]):
                raise self.error(f.line, f"{where}: a propget takes only [in] parameters before the retval")
        elif f.invkind in (INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF):
            if not f.params or any(p.flags != PARAMFLAG_FIN for p in f.params):
                raise self.error(f.line, f"{where}: a propput/propputref takes only [in] parameters, at least one")
            if f.invkind == INVOKE_PROPERTYPUTREF:
                last = f.params[-1].type
                if not (last.base in INTERFACE_TYPES or last.base == "VARIANT"):
                    raise self.error(f.line, f"{where}: a propputref value must be an interface pointer or VARIANT")

    def check_dispinterface(self, td):
        for v in td.vars:
            self.check_type(v.type, f"{td.name}.{v.name}")
            if v.memid is None:
                raise self.error(v.line, f"{td.name}.{v.name}: dispinterface properties need an id")
        for f in td.funcs:
            self.check_type(f.result, f"{td.name}.{f.name} result", allow_void=True)
            if f.result.base == "HRESULT":
                raise self.error(f.line, f"{td.name}.{f.name}: dispinterface methods return their value, not HRESULT")
            self.check_params(f, td.name)
            if f.invkind != INVOKE_FUNC:
                self.check_accessor(td, f)
        self.assign_ids(td)
        for v in td.vars:
            if any(f.memid == v.memid for f in td.funcs):
                raise self.error(v.line, f"{td.name}.{v.name}: id {v.memid} is also used by a method")

    def check_coclass(self, td):
        seen = set()
        for name, flags, line in td.impls:
            target = self.by_name.get(name)
            if target is None or target.kind not in (TKIND_INTERFACE, TKIND_DISPATCH):
                raise self.error(line, f"{td.name}: unknown interface '{name}'")
            if (name, flags & IMPLTYPEFLAG_FSOURCE) in seen:
                raise self.error(line, f"{td.name}: '{name}' is listed twice")
            seen.add((name, flags & IMPLTYPEFLAG_FSOURCE))
        for source in (0, IMPLTYPEFLAG_FSOURCE):
            defaults = [n for n, f, _ in td.impls if f & IMPLTYPEFLAG_FDEFAULT and f & IMPLTYPEFLAG_FSOURCE == source]
            if len(defaults) > 1:
                raise self.error(td.line, f"{td.name}: more than one [default]{' source' if source else ''} interface")
