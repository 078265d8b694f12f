#include "App/Shell/AppServices.h"

#include <cstdio>
#include <cstdlib>

namespace {
AppServices* installed = nullptr;
}  // namespace

AppServices& AppServices::current()
{
    if (!installed) {
        std::fputs("AppServices::current() called with no services installed\n", stderr);
        std::abort();
    }
    return *installed;
}

AppServicesScope::AppServicesScope(AppServices& services) : previous_(installed)
{
    installed = &services;
}

AppServicesScope::~AppServicesScope()
{
    installed = previous_;
}
