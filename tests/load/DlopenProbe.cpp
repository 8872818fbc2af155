// SPDX-License-Identifier: MIT
// A Linux host that loads the scan library as a plug-in, with dlopen, and
// reports what happened; the test driver (RunLoadProbe.cmake) judges it.
//   quax_load_probe_dlopen <path of libQUAXScan>
// Whatever the outcome, the host goes on and ends with status 0.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: quax_load_probe_dlopen <scan library>\n");
    return 2;
  }
  void* scan = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (scan == nullptr) {
    std::printf("dlopen refused the scan library: %s\n", dlerror());
  } else {
    // QUAX::scanLibraryLoadAccepted(), looked up by its mangled name.
    const auto accepted = reinterpret_cast<bool (*)()>(
        dlsym(scan, "_ZN4QUAX23scanLibraryLoadAcceptedEv"));
    std::printf("dlopen loaded the scan library, load accepted: %d\n",
                accepted != nullptr && accepted() ? 1 : 0);
    dlclose(scan);
  }
  std::printf("host survived\n");
  return 0;
}
