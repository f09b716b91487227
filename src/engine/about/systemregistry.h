#pragma once

#include "registry.h"

#include <memory>

// The registry of the system the program runs on; one that finds nothing where there is none.
// Which one is built is chosen in CMake.
std::unique_ptr<Registry> createSystemRegistry();
