#pragma once

#include "veltcore/Debug.h"

// VELT_CHECK(cond, text): a debug assertion whose report names the condition by `text`
// rather than by the expression, for conditions that read better in terms of the
// registry's state ("sInitializationCount >= 1") than of the code that computes them.
#define VELT_CHECK(cond, text)                                                          \
  do {                                                                                  \
    if (!(cond)) ::veltcore::debug::DoSimpleAssert(__FILE__, __LINE__, __func__, text); \
  } while (false)
