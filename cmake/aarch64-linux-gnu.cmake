# Cross-builds for 64-bit Arm Linux (Jetson, Raspberry Pi 4/5) with Debian's
# aarch64-linux-gnu compilers, against an arm64 Debian tree holding the
# libraries we link (scripts/arm64.sh makes one in build-arm64/sysroot):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DTOLVAREN_SYSROOT="$PWD/build-arm64/sysroot"
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The tree is named once (an absolute path), on the first configure;
# try_compile projects get it through the platform variables.
set(TOLVAREN_SYSROOT "${TOLVAREN_SYSROOT}" CACHE PATH "arm64 Debian tree to build against")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLVAREN_SYSROOT)
if(NOT IS_DIRECTORY "${TOLVAREN_SYSROOT}/usr/lib/aarch64-linux-gnu")
  message(FATAL_ERROR "TOLVAREN_SYSROOT='${TOLVAREN_SYSROOT}' is not an arm64 Debian tree: "
                      "run scripts/arm64.sh, or name one with -DTOLVAREN_SYSROOT=")
endif()
set(CMAKE_SYSROOT "${TOLVAREN_SYSROOT}")

# Headers, libraries and package files come from the tree only; programs run
# at build time (node, python3) are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${TOLVAREN_SYSROOT}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${TOLVAREN_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${TOLVAREN_SYSROOT}/usr/share/pkgconfig")

# A cross linker does not follow RUNPATH to the libraries a shared library
# needs in turn: it is told where they are.
foreach(dir lib/aarch64-linux-gnu usr/lib/aarch64-linux-gnu)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${TOLVAREN_SYSROOT}/${dir}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${TOLVAREN_SYSROOT}/${dir}")
endforeach()

# Test programs run through the emulator, and are asked for their test names
# when ctest runs rather than at build time: the build needs no emulation.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
find_program(TOLVAREN_QEMU_AARCH64 qemu-aarch64-static)
if(TOLVAREN_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${TOLVAREN_QEMU_AARCH64};-L;${TOLVAREN_SYSROOT}")
endif()
