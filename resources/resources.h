#pragma once

namespace dv {
/// Makes the compiled-in icons and pictures available under ":/icons/...".
void initResources();
}
