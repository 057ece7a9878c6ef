#include "platform/Platform.h"

// A local pipe of the session, which the system names and guards itself.
std::string CommandChannelPath(std::string_view name) { return std::string(name); }

bool IsOwnChannel(const std::string& path) { return !path.empty(); }
