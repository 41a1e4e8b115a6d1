// The machine's name, as a hash list records who made it.
#pragma once

#include <string>

// The host name (on Windows the DNS host name), in UTF-8; "localhost" when the system tells none.
std::string host_name();
