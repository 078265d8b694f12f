// A minimal D-Bus service for benchmarks, in a process of its own like the helper: Version()
// answers "1.0.5", Echo(s) answers its argument, both from the library's own event loop. Reads
// the bus address from DBUS_SYSTEM_BUS_ADDRESS; says "ready" once its name is taken.
#include <sdbus-c++/sdbus-c++.h>

#include <iostream>

int main()
{
    auto connection = sdbus::createSystemBusConnection();
    auto object = sdbus::createObject(*connection, "/echo");
    object->registerMethod("Version").onInterface("org.bench.Echo").implementedAs([] { return std::string("1.0.5"); });
    object->registerMethod("Echo").onInterface("org.bench.Echo").implementedAs([](std::string text) { return text; });
    object->finishRegistration();
    connection->requestName("org.bench.Echo");
    std::cout << "ready" << std::endl;
    connection->enterEventLoop();
}
