#pragma once

#include <QString>

namespace dv {

/// A named object that other programs can see while an instance runs: a file in
/// $XDG_RUNTIME_DIR (or the temporary folder) held open with a shared flock for
/// the life of the process. Creating it never fails and never refuses a second
/// instance.
class NamedMutex {
public:
    explicit NamedMutex(const QString& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    /// The file that stands for the mutex.
    static QString pathFor(const QString& name);
    /// True while some process holds the mutex of that name.
    static bool isHeld(const QString& name);

private:
    int fd_ = -1;
};

} // namespace dv
