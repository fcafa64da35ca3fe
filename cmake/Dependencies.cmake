# libcurl and OpenSSL are linked dynamically (the endpoint has them); the five small libraries
# are linked from their static archives so the per-deployment executable carries them (libacl
# too, below). Modules link the qsw:: names only: qsw::curl and qsw::crypto stand for libcurl and
# the digest and certificate library of the platform, whatever provides them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# qsw_static_dependency(<target> <pkg-config name> <archive name> [extra link items...])
# qsw::<target> from the static archive; on Windows with the static link line and compile
# flags of the .pc file, as a static executable needs them.
function(qsw_static_dependency target pc_name archive)
    pkg_check_modules(${target}_PC REQUIRED ${pc_name})
    find_library(${target}_ARCHIVE NAMES ${archive}
                 HINTS ${${target}_PC_LIBRARY_DIRS} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}
                 NO_DEFAULT_PATH)
    if(NOT ${target}_ARCHIVE)
        message(FATAL_ERROR "static archive ${archive} of ${pc_name} not found")
    endif()
    set(links ${ARGN})
    set(options "")
    if(WIN32)
        set(links ${${target}_PC_STATIC_LDFLAGS} ${ARGN})
        set(options ${${target}_PC_STATIC_CFLAGS_OTHER})
    endif()
    add_library(qsw::${target} STATIC IMPORTED GLOBAL)
    set_target_properties(qsw::${target} PROPERTIES
        IMPORTED_LOCATION "${${target}_ARCHIVE}"
        INTERFACE_INCLUDE_DIRECTORIES "${${target}_PC_INCLUDE_DIRS}"
        INTERFACE_COMPILE_OPTIONS "${options}"
        INTERFACE_LINK_LIBRARIES "${links}")
endfunction()

if(WIN32)
    # OpenSSL cross-built into the cache: the transfers' certificate checks need its SSL-context
    # hook, which libcurl offers only with OpenSSL (docs/DESIGN-DECISIONS.md, Windows edition).
    # libcurl's archive needs OpenSSL's, so it names them after itself.
    qsw_static_dependency(crypto openssl libcrypto.a)
    find_library(qsw_ssl_ARCHIVE NAMES libssl.a HINTS ${crypto_PC_LIBRARY_DIRS} NO_DEFAULT_PATH)
    set_property(TARGET qsw::crypto PROPERTY INTERFACE_LINK_LIBRARIES ${qsw_ssl_ARCHIVE} ${crypto_ARCHIVE}
                 ws2_32 crypt32 bcrypt advapi32 user32)
    qsw_static_dependency(curl libcurl libcurl.a qsw::crypto)
else()
    # GLOBAL: cmake/Release.cmake redefines both targets for the release build.
    pkg_check_modules(CURL REQUIRED IMPORTED_TARGET GLOBAL libcurl)
    pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET GLOBAL openssl)
    add_library(qsw::curl ALIAS PkgConfig::CURL)
    add_library(qsw::crypto ALIAS PkgConfig::OPENSSL)
endif()

set(qsw_system_libraries "")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(qsw_system_libraries dl rt)
endif()

qsw_static_dependency(zlib zlib libz.a)
qsw_static_dependency(minizip minizip libminizip.a qsw::zlib)
qsw_static_dependency(mxml mxml libmxml.a Threads::Threads)
qsw_static_dependency(uv libuv-static libuv_a.a Threads::Threads ${qsw_system_libraries})
qsw_static_dependency(msgpack msgpack libmsgpackc.a)

# The inflate of zip extraction: ISA-L where it is built in (src/install/raw_inflate.h), zlib on
# Windows, where no cross-built ISA-L is kept. Shared from Debian's libisal-dev here; the
# release build links a static archive built from Debian's source (cmake/Release.cmake).
add_library(qsw_inflate INTERFACE)
if(NOT WIN32)
    pkg_check_modules(ISAL REQUIRED IMPORTED_TARGET GLOBAL libisal)
    target_link_libraries(qsw_inflate INTERFACE PkgConfig::ISAL)
    target_compile_definitions(qsw_inflate INTERFACE QSW_INFLATE_ISAL)
endif()
add_library(qsw::inflate ALIAS qsw_inflate)

# libacl (POSIX file ACLs for the agent's service account): static when its archive is there,
# as Debian's libacl1-dev ships it; otherwise the endpoint needs libacl1.
if(NOT WIN32)
    pkg_check_modules(acl_PC REQUIRED libacl)
    find_library(acl_ARCHIVE NAMES libacl.a HINTS ${acl_PC_LIBRARY_DIRS} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}
                 NO_DEFAULT_PATH)
    if(acl_ARCHIVE)
        qsw_static_dependency(acl libacl libacl.a)
    else()
        pkg_check_modules(acl_SHARED REQUIRED IMPORTED_TARGET GLOBAL libacl)
        add_library(qsw::acl ALIAS PkgConfig::acl_SHARED)
    endif()
endif()
