#pragma once

namespace dv {

class Dialogs;
class Shell;
class RegistryStore;

/// The desktop services the windows reach: handed in by the composition root
/// (main.cpp) or by a test, never looked up globally.
struct Services {
    Dialogs& dialogs;
    Shell& shell;
    RegistryStore& registry;
};

} // namespace dv
