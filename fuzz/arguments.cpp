// The command-line tool's argument parsing: the input is split at NUL bytes
// into words and given to the option parser, the method chain parser (with the
// component's real member table) and, for every scalar argument of every call,
// the value coercion; float lists are parsed from their text. Each either
// succeeds or throws the tool's usage error; nothing else may escape. Files are
// never opened: "@FILE" lists and audio arguments are left out.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Chain.h"
#include "Errors.h"
#include "Members.h"
#include "Options.h"
#include "transform/Sonalter2.h"

namespace {

const sonalter::MemberTable& Members() {
    static const sonalter::MemberTable table = [] {
        qelv::CSonalter2* object = qelv::CSonalter2::Create();
        IDispatch* dispatch = static_cast<IDispatch*>(static_cast<ISonalter2*>(object));
        sonalter::MemberTable t = sonalter::MemberTable::Read(dispatch);
        object->Release();
        return t;
    }();
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words(1, "sonalter");
    std::string word;
    for (size_t i = 0; i < size && words.size() < 40; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty()) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    sonalter::Options options;
    try {
        options = sonalter::ParseOptions(static_cast<int>(words.size()), argv.data());
    } catch (const sonalter::UsageError&) {
        return 0;
    }
    if (options.smoothTime) {
        try {
            sonalter::Parameter p;
            p.name = "SmoothTime";
            p.type.kind = sonalter::ValueKind::Number;
            p.type.vt = VT_I4;
            p.type.name = "long";
            sonalter::CoerceScalar(*options.smoothTime, p, "--smooth-time");
        } catch (const sonalter::UsageError&) {
        }
    }
    // The words after INPUT OUTPUT name the methods.
    if (options.words.size() < 2) return 0;
    const std::vector<std::string> chainWords(options.words.begin() + 2, options.words.end());
    std::vector<sonalter::Call> calls;
    try {
        calls = sonalter::ParseChain(Members(), chainWords);
    } catch (const sonalter::UsageError&) {
        return 0;
    }
    for (const sonalter::Call& call : calls) {
        call.Display();
        for (size_t i = 0; i < call.texts.size() && i < call.method->params.size(); ++i) {
            if (!call.texts[i]) continue;
            const std::string& text = *call.texts[i];
            const sonalter::Parameter& param = call.method->params[i];
            try {
                switch (param.type.kind) {
                    case sonalter::ValueKind::Number:
                    case sonalter::ValueKind::Boolean:
                    case sonalter::ValueKind::Enumeration:
                    case sonalter::ValueKind::Text:
                        sonalter::CoerceScalar(text, param, call.method->name);
                        break;
                    case sonalter::ValueKind::FloatArray:
                        if (!text.empty() && text[0] != '@') sonalter::ParseFloatList(text, param.name);
                        break;
                    default:
                        break;
                }
            } catch (const sonalter::UsageError&) {
            }
        }
    }
    return 0;
}
