# 32-bit x86 Linux with Debian's cross compiler (g++-i686-linux-gnu). The shell is linked
# statically, so it runs on a 64-bit machine without 32-bit libraries (directly, or through
# qemu-i386).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A linker warning is an error here: glibc warns when a static program calls what needs its
# shared libraries at run time anyway (the host-name resolver, which the shell never uses).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--fatal-warnings")
