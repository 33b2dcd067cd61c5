// A video plug-in for the loader's tests; variants by compile definitions:
//   TEST_PLUG_NAME        the name command 111 writes
//   TEST_PLUG_FAIL_CREATE command 100 fails
//   TEST_PLUG_FILL_NAME   command 111 fills all 128 bytes without a terminating zero
// TestPlugCounts reports how many handles were created and released.
#include <atomic>
#include <cstring>

#include "base/export.h"
#include "shared/video_plug.h"

namespace {

struct Handle {
  int32_t magic = 0x504C5547;
};

std::atomic<int> created{0};
std::atomic<int> released{0};

}  // namespace

extern "C" LESSONRY_EXPORT void TestPlugCounts(int* createdOut, int* releasedOut) {
  *createdOut = created.load();
  *releasedOut = released.load();
}

extern "C" LESSONRY_EXPORT int32_t VPSendCmd(intptr_t handle, int32_t command, intptr_t first, intptr_t second) {
  auto* plug = reinterpret_cast<Handle*>(handle);
  switch (command) {
    case VP_CMD_CREATE: {
#ifdef TEST_PLUG_FAIL_CREATE
      (void)first;
      return 1;
#else
      if (handle != 0 || first == 0) return 1;
      *reinterpret_cast<intptr_t*>(first) = reinterpret_cast<intptr_t>(new Handle);
      ++created;
      return 0;
#endif
    }
    case VP_CMD_RELEASE:
      if (!plug || plug->magic != 0x504C5547) return 1;
      delete plug;
      ++released;
      return 0;
    case VP_CMD_GET_NAME:
      if (!plug || first == 0) return 1;
#ifdef TEST_PLUG_FILL_NAME
      std::memset(reinterpret_cast<char*>(first), 'N', VP_NAME_SIZE);
#else
      std::strncpy(reinterpret_cast<char*>(first), TEST_PLUG_NAME, VP_NAME_SIZE - 1);
#endif
      return 0;
    case 200:  // echo: the sum of both arguments, to check they pass whole
      if (!plug) return -1;
      return static_cast<int32_t>((first + second) & 0x7FFFFFFF);
    default:
      return 1;
  }
}
