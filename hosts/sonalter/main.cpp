// sonalter: the command-line host of the QelvSonalter2 transform object. It reads
// an audio file, runs a chain of the object's methods on the samples, the way a
// scripting host drives the component, and writes the result.
#include "Activation.h"
#include "Batch.h"
#include "Commands.h"
#include "Component.h"
#include "Errors.h"
#include "Interrupt.h"
#include "Options.h"
#include "Run.h"
#include "Spectrum.h"

#include <cstdio>
#include <new>

#ifndef SONALTER_VERSION
#define SONALTER_VERSION "unknown"
#endif

namespace sonalter {
namespace {

Component CreateComponent(const Options& o) {
    ActivatedObject activated = ActivateTransformObject();
    if (!activated.warning.empty()) std::fprintf(stderr, "sonalter: warning: %s\n", activated.warning.c_str());
    if (o.verbose) std::fprintf(stderr, "component: %s\n", activated.route.c_str());
    return Component(std::move(activated));
}

int Main(int argc, char** argv) {
    if (IsBatchCommand(argc, argv)) RunBatch(argc, argv);
    if (IsSpectrumCommand(argc, argv)) return RunSpectrum(argc, argv);
    const Options o = ParseOptions(argc, argv);
    if (o.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("sonalter %s\n", SONALTER_VERSION);
        return 0;
    }
    const std::vector<std::string>& words = o.words;
    if (words.empty()) {
        throw UsageError("say what to do: sonalter INPUT OUTPUT METHOD [ARG ...] (sonalter --help explains, "
                         "sonalter methods lists the methods)");
    }
    if (const Subcommand* command = FindSubcommand(words)) {
        const std::span<const std::string> args(words.begin() + 1, words.end());
        if (!command->needsComponent) return command->run(nullptr, o, args);
        Apartment apartment;
        Component component = CreateComponent(o);
        return command->run(&component, o, args);
    }
    if (words.size() < 2) {
        throw UsageError("missing OUTPUT after " + words[0] + ": sonalter INPUT OUTPUT METHOD [ARG ...]");
    }
    Apartment apartment;
    Component component = CreateComponent(o);
    return RunChain(component, o);
}

}  // namespace
}  // namespace sonalter

int main(int argc, char** argv) {
    using namespace sonalter;
    InstallInterruptHandler();
    try {
        return Main(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "sonalter: %s\n", e.what());
        return kExitUsage;
    } catch (const Cancelled& e) {
        std::fprintf(stderr, "sonalter: %s; nothing was written\n", e.what());
        return kExitInterrupted;
    } catch (const Failure& e) {
        std::fprintf(stderr, "sonalter: %s\n", e.what());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "sonalter: out of memory\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sonalter: %s\n", e.what());
        return kExitFailure;
    }
}
