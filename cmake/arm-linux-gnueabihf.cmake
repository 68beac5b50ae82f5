# Cross-compiling for the camera (32-bit ARM, hard-float Linux):
#   cmake -S . -B build/camera -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
#         -DZT_BUILD_TESTS=OFF -DZT_CAMERA_LIBDIR=/path/to/camera/usr/lib
#   cmake --build build/camera --target ztControlD
# Set ZT_SYSROOT to the camera's root file system image when the compiler needs one.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
if(DEFINED ENV{ZT_SYSROOT})
  set(CMAKE_SYSROOT $ENV{ZT_SYSROOT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config looks at the target's libraries, never the host's.
if(DEFINED ENV{ZT_SYSROOT})
  set(ENV{PKG_CONFIG_SYSROOT_DIR} $ENV{ZT_SYSROOT})
  set(ENV{PKG_CONFIG_LIBDIR} "$ENV{ZT_SYSROOT}/usr/lib/arm-linux-gnueabihf/pkgconfig:$ENV{ZT_SYSROOT}/usr/lib/pkgconfig:$ENV{ZT_SYSROOT}/usr/share/pkgconfig")
else()
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")
endif()
