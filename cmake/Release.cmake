# Release build (-DQSW_RELEASE=ON, driven by scripts/build-release.sh): the executable's only
# run-time dependency is the C library. libcurl comes from the static build that the script
# leaves in QSW_RELEASE_CURL_PREFIX, ISA-L from QSW_RELEASE_ISAL_PREFIX, OpenSSL from Debian's static archives, libstdc++ and libgcc
# are linked statically; the five small libraries are static in every build already.
option(QSW_RELEASE "Link everything but the C library statically" OFF)
if(NOT QSW_RELEASE)
    return()
endif()

set(QSW_RELEASE_CURL_PREFIX "" CACHE PATH "Prefix of the static libcurl (scripts/release/libcurl.sh)")
if(NOT EXISTS "${QSW_RELEASE_CURL_PREFIX}/lib/libcurl.a")
    message(FATAL_ERROR "QSW_RELEASE needs QSW_RELEASE_CURL_PREFIX with lib/libcurl.a; "
                        "run scripts/build-release.sh")
endif()

foreach(archive ssl crypto)
    find_library(QSW_RELEASE_${archive}_ARCHIVE NAMES lib${archive}.a
                 HINTS ${OPENSSL_LIBRARY_DIRS} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} NO_DEFAULT_PATH)
    if(NOT QSW_RELEASE_${archive}_ARCHIVE)
        message(FATAL_ERROR "static archive lib${archive}.a not found (libssl-dev)")
    endif()
endforeach()

# The imported targets that src/ links keep their names; only what they stand for changes.
set_target_properties(PkgConfig::OPENSSL PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${OPENSSL_INCLUDE_DIRS}"
    INTERFACE_COMPILE_OPTIONS ""
    INTERFACE_LINK_OPTIONS ""
    INTERFACE_LINK_LIBRARIES
        "${QSW_RELEASE_ssl_ARCHIVE};${QSW_RELEASE_crypto_ARCHIVE};Threads::Threads;${CMAKE_DL_LIBS}")
# The archive as a static library of its own that needs OpenSSL: the link then puts it ahead of
# OpenSSL's archives wherever the modules name the two (the platform layer links libcurl too).
add_library(qsw_release_curl STATIC IMPORTED GLOBAL)
set_target_properties(qsw_release_curl PROPERTIES
    IMPORTED_LOCATION "${QSW_RELEASE_CURL_PREFIX}/lib/libcurl.a"
    INTERFACE_LINK_LIBRARIES PkgConfig::OPENSSL)
set_target_properties(PkgConfig::CURL PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${QSW_RELEASE_CURL_PREFIX}/include"
    INTERFACE_COMPILE_OPTIONS ""
    INTERFACE_LINK_OPTIONS ""
    INTERFACE_LINK_LIBRARIES qsw_release_curl)

set(QSW_RELEASE_ISAL_PREFIX "" CACHE PATH "Prefix of the static ISA-L (scripts/release/libisal.sh)")
if(NOT EXISTS "${QSW_RELEASE_ISAL_PREFIX}/lib/libisal.a")
    message(FATAL_ERROR "QSW_RELEASE needs QSW_RELEASE_ISAL_PREFIX with lib/libisal.a; "
                        "run scripts/build-release.sh")
endif()
set_target_properties(PkgConfig::ISAL PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${QSW_RELEASE_ISAL_PREFIX}/include"
    INTERFACE_COMPILE_OPTIONS ""
    INTERFACE_LINK_OPTIONS ""
    INTERFACE_LINK_LIBRARIES "${QSW_RELEASE_ISAL_PREFIX}/lib/libisal.a")

# --as-needed drops libdl, librt and libpthread, whose calls live in libc since glibc 2.34.
add_link_options(-static-libstdc++ -static-libgcc LINKER:--as-needed)
