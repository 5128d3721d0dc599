#include "Batch.h"

#include "Activation.h"
#include "Errors.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef SONALTER_PYTHON
#define SONALTER_PYTHON "python3"
#endif
#ifndef SONALTER_PYTHON_FROM_BIN
#define SONALTER_PYTHON_FROM_BIN "../lib/python3/dist-packages"
#endif

namespace sonalter {

namespace {

// The folder that holds the qelvsonalter2 package for this tool, or empty when
// neither place has it (the interpreter's own path may then).
std::string PackageFolder() {
    const std::filesystem::path bin = ExecutableDirectory();
    for (const std::filesystem::path& folder : {bin / ".." / "python", bin / SONALTER_PYTHON_FROM_BIN}) {
        std::error_code ec;
        if (std::filesystem::exists(folder / "qelvsonalter2" / "__init__.py", ec)) {
            return folder.lexically_normal().string();
        }
    }
    return {};
}

}  // namespace

bool IsBatchCommand(int argc, char** argv) { return argc >= 2 && std::strcmp(argv[1], "batch") == 0; }

void RunBatch(int argc, char** argv) {
    const std::string folder = PackageFolder();
    if (!folder.empty()) {
        const char* before = std::getenv("PYTHONPATH");
        const std::string path = before && *before ? folder + ":" + before : folder;
        setenv("PYTHONPATH", path.c_str(), 1);
    }
    std::string python = SONALTER_PYTHON, module = "-m", package = "qelvsonalter2";
    std::vector<char*> args{python.data(), module.data(), package.data()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    throw Failure("cannot start " + python + " for the batch command: " + std::strerror(errno));
}

}  // namespace sonalter
