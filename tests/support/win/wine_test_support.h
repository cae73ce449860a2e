// Helpers the Windows-built suites share: the real file system and the message queue under Wine.
#pragma once

#include <functional>
#include <string>

namespace calvorin::testing {

// Deletes a file, or a folder with everything in it; read-only and hidden entries too. A path
// that does not exist is left alone.
void RemoveTree(const std::string& path);

// Handles this thread's window messages until `done` answers true (true) or five minutes have
// passed (false). Waits for messages rather than polling.
bool PumpMessagesUntil(const std::function<bool()>& done);

}  // namespace calvorin::testing
