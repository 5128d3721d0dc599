// Reading the member description from the object's type information.
#include "Members.h"

#include "ComPtr.h"
#include "Errors.h"
#include "Text.h"


namespace sonalter {

namespace {


struct TypeAttrHolder {
    ITypeInfo* info;
    TYPEATTR* attr = nullptr;
    ~TypeAttrHolder() {
        if (attr) info->ReleaseTypeAttr(attr);
    }
};

struct FuncDescHolder {
    ITypeInfo* info;
    FUNCDESC* desc = nullptr;
    ~FuncDescHolder() {
        if (desc) info->ReleaseFuncDesc(desc);
    }
};

struct VarDescHolder {
    ITypeInfo* info;
    VARDESC* desc = nullptr;
    ~VarDescHolder() {
        if (desc) info->ReleaseVarDesc(desc);
    }
};

// Names of a member: its own, then its parameters'.
std::vector<std::string> Names(ITypeInfo* info, MEMBERID memid, UINT max) {
    std::vector<BSTR> raw(max, nullptr);
    UINT count = 0;
    std::vector<std::string> names;
    if (SUCCEEDED(info->GetNames(memid, raw.data(), max, &count))) {
        for (UINT i = 0; i < count && i < max; ++i) names.push_back(Utf8(raw[i]));
    }
    for (BSTR b : raw) SysFreeString(b);
    return names;
}

std::string Documentation(ITypeInfo* info, MEMBERID memid, std::string* name = nullptr) {
    Bstr bname;
    Bstr doc;
    if (FAILED(info->GetDocumentation(memid, name ? bname.put() : nullptr, doc.put(), nullptr, nullptr))) return {};
    if (name) *name = Utf8(bname.get());
    return Utf8(doc.get());
}

std::string ScalarName(VARTYPE vt) {
    switch (vt) {
        case VT_I1: return "char";
        case VT_UI1: return "byte";
        case VT_I2: return "short";
        case VT_UI2: return "unsigned short";
        case VT_I4: case VT_INT: return "long";
        case VT_UI4: case VT_UINT: return "unsigned long";
        case VT_I8: return "hyper";
        case VT_UI8: return "unsigned hyper";
        case VT_R4: return "float";
        case VT_R8: return "double";
        case VT_CY: return "currency";
        case VT_DATE: return "date";
        default: return "type " + std::to_string(vt);
    }
}

bool IsNumber(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
        case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
            return true;
        default:
            return false;
    }
}

ValueType Describe(ITypeInfo* info, const TYPEDESC* td, int depth = 0) {
    ValueType type;
    while (td && td->vt == VT_PTR) td = td->lptdesc;
    if (!td || depth > 8) {
        type.kind = ValueKind::Unsupported;
        type.name = "unknown type";
        return type;
    }
    if (td->vt == VT_SAFEARRAY) {
        const ValueType element = Describe(info, td->lptdesc, depth + 1);
        if (element.kind == ValueKind::Number && element.vt == VT_I2) {
            type.kind = ValueKind::SampleArray;
            type.vt = VT_I2;
            type.name = "sample array";
        } else if (element.kind == ValueKind::Number && element.vt == VT_R4) {
            type.kind = ValueKind::FloatArray;
            type.vt = VT_R4;
            type.name = "float array";
        } else {
            type.kind = ValueKind::Unsupported;
            type.name = "array of " + element.name;
        }
        return type;
    }
    type.vt = td->vt;
    switch (td->vt) {
        case VT_VOID:
        case VT_HRESULT:
            type.kind = ValueKind::None;
            return type;
        case VT_BOOL:
            type.kind = ValueKind::Boolean;
            type.name = "boolean";
            return type;
        case VT_BSTR:
            type.kind = ValueKind::Text;
            type.name = "text";
            return type;
        case VT_USERDEFINED:
            break;
        default:
            type.kind = IsNumber(td->vt) ? ValueKind::Number : ValueKind::Unsupported;
            type.name = ScalarName(td->vt);
            return type;
    }
    ComPtr<ITypeInfo> ref;
    type.kind = ValueKind::Unsupported;
    type.name = "user-defined type";
    if (FAILED(info->GetRefTypeInfo(td->hreftype, ref.put())) || !ref) return type;
    Documentation(ref.get(), MEMBERID_NIL, &type.name);
    TypeAttrHolder attr{ref.get()};
    if (FAILED(ref->GetTypeAttr(&attr.attr)) || !attr.attr) return type;
    if (attr.attr->typekind == TKIND_ALIAS) return Describe(ref.get(), &attr.attr->tdescAlias, depth + 1);
    if (attr.attr->typekind != TKIND_ENUM) return type;
    type.kind = ValueKind::Enumeration;
    type.vt = VT_I4;  // enumerations travel as 32-bit integers
    for (UINT i = 0; i < attr.attr->cVars; ++i) {
        VarDescHolder var{ref.get()};
        if (FAILED(ref->GetVarDesc(i, &var.desc)) || !var.desc || !var.desc->lpvarValue) continue;
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, var.desc->lpvarValue, 0, VT_I4))) continue;
        const std::vector<std::string> names = Names(ref.get(), var.desc->memid, 1);
        type.constants.push_back({names.empty() ? std::string() : names[0], value.lVal});
    }
    return type;
}

// The interface view of a dual interface keeps the [out, retval] parameter's
// name, which the dispatch view lifts into the result.
std::string RetvalName(ITypeInfo* vtableView, MEMBERID memid, UINT dispatchParams) {
    if (!vtableView) return {};
    const std::vector<std::string> names = Names(vtableView, memid, dispatchParams + 2);
    return names.size() == dispatchParams + 2 ? names.back() : std::string();
}

Member* FindIn(std::vector<Member>& list, std::string_view name) {
    for (Member& m : list) {
        if (EqualsIgnoreCase(m.name, name)) return &m;
    }
    return nullptr;
}

}  // namespace

int Member::CurrentArrayParam() const {
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i].type.kind == ValueKind::SampleArray) return static_cast<int>(i);
    }
    return -1;
}

bool Member::TakesArgument(size_t index) const {
    return index < params.size() && static_cast<int>(index) != CurrentArrayParam() && !params[index].OutputOnly();
}

std::vector<const Parameter*> Member::CommandLineParams() const {
    std::vector<const Parameter*> out;
    for (size_t i = 0; i < params.size(); ++i) {
        if (TakesArgument(i)) out.push_back(&params[i]);
    }
    return out;
}

MemberTable MemberTable::Read(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put());
    if (FAILED(hr) || !info) {
        throw Failure("the component gives no description of its members (GetTypeInfo: status " + Hex(hr) + ")");
    }
    TypeAttrHolder attr{info.get()};
    hr = info->GetTypeAttr(&attr.attr);
    if (FAILED(hr) || !attr.attr) {
        throw Failure("the component's member description cannot be read (status " + Hex(hr) + ")");
    }
    MemberTable table;
    Documentation(info.get(), MEMBERID_NIL, &table.interfaceName_);

    ComPtr<ITypeInfo> vtableView;
    HREFTYPE href = 0;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &href))) {
        if (FAILED(info->GetRefTypeInfo(href, vtableView.put()))) vtableView.reset();
    }

    for (UINT i = 0; i < attr.attr->cFuncs; ++i) {
        FuncDescHolder func{info.get()};
        if (FAILED(info->GetFuncDesc(i, &func.desc)) || !func.desc) continue;
        const FUNCDESC& fd = *func.desc;
        if (fd.wFuncFlags & FUNCFLAG_FRESTRICTED) continue;
        const UINT paramCount = fd.cParams > 0 ? static_cast<UINT>(fd.cParams) : 0;
        const std::vector<std::string> names = Names(info.get(), fd.memid, paramCount + 1);
        if (names.empty()) continue;
        const std::string help = Documentation(info.get(), fd.memid);

        if (fd.invkind == INVOKE_FUNC) {
            Member m;
            m.name = names[0];
            m.dispid = fd.memid;
            m.help = help;
            for (UINT p = 0; p < paramCount; ++p) {
                const ELEMDESC& ed = fd.lprgelemdescParam[p];
                Parameter param;
                param.name = p + 1 < names.size() ? names[p + 1] : "Param" + std::to_string(p + 1);
                param.type = Describe(info.get(), &ed.tdesc);
                const USHORT flags = ed.paramdesc.wParamFlags;
                param.out = (flags & PARAMFLAG_FOUT) != 0;
                param.in = (flags & PARAMFLAG_FIN) != 0 || !param.out;
                param.optional = (flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
                param.unit = UnitOf(param.name, help);
                m.params.push_back(std::move(param));
            }
            m.result = Describe(info.get(), &fd.elemdescFunc.tdesc);
            if (m.result.kind != ValueKind::None) {
                m.resultName = RetvalName(vtableView.get(), fd.memid, paramCount);
                if (!m.resultName.empty()) m.resultUnit = UnitOf(m.resultName, help);
            }
            table.methods_.push_back(std::move(m));
            continue;
        }
        // A property: its get and its put are separate functions with one name.
        Member* p = FindIn(table.properties_, names[0]);
        if (!p) {
            table.properties_.emplace_back();
            p = &table.properties_.back();
            p->name = names[0];
            p->dispid = fd.memid;
            p->help = help;
            p->resultUnit = UnitOf(p->name, help);
        }
        if (fd.invkind == INVOKE_PROPERTYGET && paramCount == 0) {
            p->readable = true;
            p->result = Describe(info.get(), &fd.elemdescFunc.tdesc);
        } else if (fd.invkind != INVOKE_PROPERTYGET && paramCount == 1) {
            p->writable = true;
            if (!p->readable) p->result = Describe(info.get(), &fd.lprgelemdescParam[0].tdesc);
        }
        // Indexed properties (with more parameters) have no use on the command line.
    }
    return table;
}

MemberTable MemberTable::FromLists(std::vector<Member> methods, std::vector<Member> properties) {
    MemberTable table;
    table.methods_ = std::move(methods);
    table.properties_ = std::move(properties);
    return table;
}

const Member* MemberTable::FindMethod(std::string_view name) const {
    for (const Member& m : methods_) {
        if (EqualsIgnoreCase(m.name, name)) return &m;
    }
    return nullptr;
}

const Member* MemberTable::FindProperty(std::string_view name) const {
    for (const Member& m : properties_) {
        if (EqualsIgnoreCase(m.name, name)) return &m;
    }
    return nullptr;
}

std::vector<std::string> MemberTable::MethodNames() const {
    std::vector<std::string> names;
    for (const Member& m : methods_) names.push_back(m.name);
    return names;
}

std::vector<std::string> MemberTable::AllNames() const {
    std::vector<std::string> names = MethodNames();
    for (const Member& m : properties_) names.push_back(m.name);
    return names;
}

}  // namespace sonalter
