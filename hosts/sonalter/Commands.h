// The subcommands that describe rather than process: `methods`, `help NAME` and
// `info FILE`. Each prints to standard output and returns the exit status.
#pragma once

#include "Options.h"

#include <span>
#include <string>

namespace sonalter {

class Component;

// A command other than processing: the first word names it, and it applies
// when the words after it number from minArgs to maxArgs (so a file named like a
// command can still be an INPUT).
struct Subcommand {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    bool needsComponent;  // main creates the transform object first
    // [in] component  the object, or nullptr when needsComponent is false
    // [in] args       the words after the name
    // RETURNS the exit status; throws like RunChain.
    int (*run)(Component* component, const Options& options, std::span<const std::string> args);
};

// Subcommands
//   RETURNS the table main dispatches on: methods, help, info (a new command
//   adds one line here).
std::span<const Subcommand> Subcommands();

// FindSubcommand
//   RETURNS the command words name with their count, or nullptr for a processing run.
const Subcommand* FindSubcommand(const std::vector<std::string>& words);

// ListMembers: every method with its parameters and help string, then the properties.
int ListMembers(Component& component);

// DescribeMember: one method or property in full, with units; suggestions for
// an unknown name (then exit status 2).
int DescribeMember(Component& component, const std::string& name);

// ShowFileInfo: format, length, rate, channels and peak level of an audio file.
int ShowFileInfo(const std::string& path);

}  // namespace sonalter
