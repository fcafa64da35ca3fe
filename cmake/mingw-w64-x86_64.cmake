# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so that
# std::thread and std::mutex work) against the libraries that scripts/build-windows.sh
# cross-builds into its cache folder. That folder is named by QSW_MINGW_DEPS (a cache
# variable or the environment variable of the same name).
#
# Executables link everything statically (libstdc++, libgcc, winpthread and every library of
# the cache): a per-deployment .exe must start on a bare Windows without extra DLLs.
# Test programs run under Wine through scripts/wine-run.sh, headless and in a network
# namespace of their own.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QSW_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QSW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QSW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QSW_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${QSW_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QSW_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

if(NOT QSW_MINGW_DEPS AND DEFINED ENV{QSW_MINGW_DEPS})
    set(QSW_MINGW_DEPS "$ENV{QSW_MINGW_DEPS}")
endif()
# try_compile projects read this file again without the caller's cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QSW_MINGW_DEPS)
set(QSW_MINGW_SYSTEM_ROOT /usr/${QSW_MINGW_TRIPLET})

# Headers and libraries only from the cache and the MinGW system root, programs from the host.
set(CMAKE_FIND_ROOT_PATH ${QSW_MINGW_DEPS} ${QSW_MINGW_SYSTEM_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives first: the DLL import libraries of the MinGW root must never be chosen.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# pkg-config sees the cross .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR}
    "${QSW_MINGW_DEPS}/lib/pkgconfig:${QSW_MINGW_DEPS}/share/pkgconfig:${QSW_MINGW_SYSTEM_ROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

get_filename_component(QSW_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QSW_SOURCE_ROOT}/scripts/wine-run.sh)
