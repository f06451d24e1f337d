// Memory settings for converting many pictures in one process.
#pragma once

namespace morvane::convert {

// Lets the C library keep large picture buffers between pictures instead of
// handing them back to the system after each one and faulting them in again.
void keepPictureBuffers();

} // namespace morvane::convert
