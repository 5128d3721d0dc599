// Non-finite, denormal and huge values in every float parameter of every method
// that works (answers something other than E_NOTIMPL), called through
// IDispatch::Invoke as a script host calls them. The members and their
// parameter types come from the type information, so methods that land later
// are covered without touching this file. Each call must either succeed or be
// refused the documented way: the component's INVALIDPARAM error before
// anything changes (the array is untouched), or, for a double too large for a
// float, the dispatch layer's DISP_E_OVERFLOW. Under UndefinedBehaviorSanitizer
// the same calls also prove that no value reaches a float-to-integer cast
// unclamped.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "transform/hardening/DispatchCalls.h"

namespace {

using namespace qelv::hardening;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

}  // namespace

TEST(NumericInputs, EveryFloatParameterOfEveryWorkingMethodGivesADocumentedResult) {
    qelv::CSonalter2* created = qelv::CSonalter2::Create();
    IDispatch* object = static_cast<IDispatch*>(static_cast<ISonalter2*>(created));
    std::vector<Method> members = Members(object);
    std::erase_if(members, [](const Method& m) { return !m.hasFloat; });
    ASSERT_FALSE(members.empty());

    const float kNan = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    const float kDenormal = std::numeric_limits<float>::denorm_min();
    const float kMax = std::numeric_limits<float>::max();
    struct Row {
        const char* name;
        double value;
        bool asDouble;
    };
    const Row rows[] = {{"NaN", kNan, false},          {"+inf", kInf, false},         {"-inf", -kInf, false},
                        {"denormal", kDenormal, false}, {"-denormal", -kDenormal, false},
                        {"FLT_MAX", kMax, false},       {"-FLT_MAX", -kMax, false},    {"1e30", 1e30, false},
                        {"-1e30", -1e30, false},        {"1e300 (double)", 1e300, true},
                        {"-1e300 (double)", -1e300, true}};
    // The other floats take the method's base while one is extreme.
    int working = 0;
    for (const Method& m : members) {
        const std::vector<Probe> probes = ProbeBases(object, m);
        const float base = probes.back().base;
        const Outcome& probe = probes.back().outcome;
        if (probe.hr == DISP_E_EXCEPTION && probe.scode == E_NOTIMPL) continue;  // not built yet
        ++working;
        for (size_t p = 0; p < m.params.size(); ++p) {
            if (m.params[p].kind != Kind::Float) continue;
            for (const Row& row : rows) {
                const Outcome o = Call(object, m, base, static_cast<int>(p), row.value, row.asDouble);
                const std::string where = Narrow(m.name) + "(" + Narrow(m.params[p].name) + " = " + row.name + ")";
                if (o.hr == S_OK) {
                    std::printf("  %-48s accepted%s%s\n", where.c_str(), o.output.empty() ? "" : ": ",
                                o.output.c_str());
                    continue;
                }
                if (row.asDouble && o.hr == DISP_E_OVERFLOW) {
                    EXPECT_TRUE(o.arraysUntouched) << where;
                    std::printf("  %-48s refused by dispatch: DISP_E_OVERFLOW\n", where.c_str());
                    continue;
                }
                EXPECT_EQ(o.hr, DISP_E_EXCEPTION) << where;
                EXPECT_EQ(o.scode, kInvalidParam) << where;
                EXPECT_EQ(o.description, u"Invalid parameter(argument).") << where;
                EXPECT_TRUE(o.arraysUntouched) << where << ": refused after changing the array";
                std::printf("  %-48s refused: INVALIDPARAM\n", where.c_str());
            }
        }
    }
    EXPECT_GT(working, 0);
    created->Release();
}
