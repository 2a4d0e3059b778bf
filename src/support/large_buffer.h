// Advice to the operating system about large buffers.
#ifndef ZARN_SUPPORT_LARGE_BUFFER_H_
#define ZARN_SUPPORT_LARGE_BUFFER_H_

#include <cstddef>

namespace zarn {

// Asks the system to back a large buffer that is about to be filled with
// huge pages where it can (Linux transparent huge pages in "madvise" mode),
// so that filling tens of megabytes costs a few dozen page faults instead of
// tens of thousands. Only a hint: nothing changes where it is not honoured,
// and buffers below a few megabytes are left alone.
void AdviseLargeBuffer(void* data, size_t size);

}  // namespace zarn

#endif  // ZARN_SUPPORT_LARGE_BUFFER_H_
