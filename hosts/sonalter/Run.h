// `sonalter INPUT OUTPUT METHOD [ARG ...] ...`: the whole processing run.
#pragma once

#include "Options.h"

namespace sonalter {

class Component;

// RunChain
//   Checks the command line against the component's description, reads INPUT,
//   sets the properties, runs the chain and writes OUTPUT (and the CSV) only
//   when everything succeeded.
//   RETURNS 0; throws UsageError, Failure or Cancelled (see Errors.h).
int RunChain(Component& component, const Options& options);

}  // namespace sonalter
