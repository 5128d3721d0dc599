// The three ways a run of the tool can end early, each with its exit status.
// Thrown anywhere below main(), reported once there.
#pragma once

#include <stdexcept>
#include <string>

namespace sonalter {

constexpr int kExitFailure = 1;      // the component, a file or the system failed
constexpr int kExitUsage = 2;        // the command line is wrong
constexpr int kExitInterrupted = 130;  // Ctrl-C (128 + SIGINT), as shells report it

// A mistake on the command line: unknown names, wrong counts, bad values.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Something failed while doing what the command line asked.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user pressed Ctrl-C; what stopped is said in the message.
class Cancelled : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace sonalter
