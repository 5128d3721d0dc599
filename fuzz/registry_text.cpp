// The registry file reader: any text either reads into a tree or is refused with
// a line number and a message; a tree that was read writes back to text that
// reads again into the same tree (the text written twice is identical).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "registry_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qelv::registry;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Tree tree;
    std::size_t line = 0;
    std::string problem;
    if (!ParseTree(text, tree, line, problem)) {
        // A refusal names a line of the text and says what is wrong.
        if (problem.empty() || line == 0) {
            std::fprintf(stderr, "refusal without a line or message\n");
            std::abort();
        }
        return 0;
    }
    const std::string written = FormatTree(tree);
    Tree again;
    if (!ParseTree(written, again, line, problem)) {
        std::fprintf(stderr, "written text does not read back: line %zu: %s\n%s", line, problem.c_str(),
                     written.c_str());
        std::abort();
    }
    if (FormatTree(again) != written) {
        std::fprintf(stderr, "written text changes on a second round\n");
        std::abort();
    }
    return 0;
}
