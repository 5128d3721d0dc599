// The subcommands that describe rather than process: `methods`, `help NAME` and
// `info FILE`. Each prints to standard output and returns the exit status.
#pragma once

#include <string>

namespace sonalter {

class Component;

// ListMembers: every method with its parameters and help string, then the properties.
int ListMembers(Component& component);

// DescribeMember: one method or property in full, with units; suggestions for
// an unknown name (then exit status 2).
int DescribeMember(Component& component, const std::string& name);

// ShowFileInfo: format, length, rate, channels and peak level of an audio file.
int ShowFileInfo(const std::string& path);

}  // namespace sonalter
