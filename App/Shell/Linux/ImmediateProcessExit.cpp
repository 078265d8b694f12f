#include "App/Shell/Linux/ImmediateProcessExit.h"

#include <cstdlib>

void ImmediateProcessExit::exitNow(int status)
{
    std::exit(status);
}
