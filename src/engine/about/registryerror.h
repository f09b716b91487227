#pragma once

#include <stdexcept>

// A value that the registry reports as present but empty: the reader cannot tell what
// it holds, so it gives up instead of guessing.
class RegistryError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
