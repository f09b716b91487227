#include "systemregistry.h"

#include "noregistry.h"

std::unique_ptr<Registry> createSystemRegistry()
{
    return std::make_unique<NoRegistry>();
}
