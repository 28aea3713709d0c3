#pragma once

#include "errors.h"

#include <QString>

namespace dv::test {

/// The message of the error the call raises, or an empty string when it raises none.
template <typename F>
QString errorOf(F&& f)
{
    try {
        f();
    } catch (const dv::AppError& e) {
        return e.message();
    }
    return QString();
}

} // namespace dv::test
