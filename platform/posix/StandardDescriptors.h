#pragma once

namespace pellomar::platform {

// Opens /dev/null on any of descriptors 0-2 that the program was started without, so that the
// X connection and the pipes of helper programs never land on them: the serving child points
// 0-2 at /dev/null and would cut its own connection.
void keepStandardDescriptorsOpen();

}  // namespace pellomar::platform
