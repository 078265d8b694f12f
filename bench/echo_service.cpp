// A minimal D-Bus service for benchmarks: answers org.bench.Echo.Echo with "1.0.5" from the
// library's own event loop. Reads the bus address from DBUS_SYSTEM_BUS_ADDRESS.
#include <sdbus-c++/sdbus-c++.h>

#include <iostream>

int main()
{
    auto connection = sdbus::createSystemBusConnection();
    auto object = sdbus::createObject(*connection, "/echo");
    object->registerMethod("Echo").onInterface("org.bench.Echo").implementedAs([] { return std::string("1.0.5"); });
    object->finishRegistration();
    connection->requestName("org.bench.Echo");
    std::cout << "ready" << std::endl;
    connection->enterEventLoop();
}
