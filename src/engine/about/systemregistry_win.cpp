#include "systemregistry.h"

#include "windowsregistry.h"

std::unique_ptr<Registry> createSystemRegistry()
{
    return std::make_unique<WindowsRegistry>();
}
