# libcurl and OpenSSL are linked dynamically (the endpoint has them); the five small libraries
# are linked from their static archives so the per-deployment executable carries them (libacl
# too, below).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET openssl)

# qsw_static_dependency(<target> <pkg-config name> <archive name> [extra link items...])
function(qsw_static_dependency target pc_name archive)
    pkg_check_modules(${target}_PC REQUIRED ${pc_name})
    find_library(${target}_ARCHIVE NAMES ${archive}
                 HINTS ${${target}_PC_LIBRARY_DIRS} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}
                 NO_DEFAULT_PATH)
    if(NOT ${target}_ARCHIVE)
        message(FATAL_ERROR "static archive ${archive} of ${pc_name} not found")
    endif()
    add_library(qsw::${target} STATIC IMPORTED GLOBAL)
    set_target_properties(qsw::${target} PROPERTIES
        IMPORTED_LOCATION "${${target}_ARCHIVE}"
        INTERFACE_INCLUDE_DIRECTORIES "${${target}_PC_INCLUDE_DIRS}"
        INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

qsw_static_dependency(zlib zlib libz.a)
qsw_static_dependency(minizip minizip libminizip.a qsw::zlib)
qsw_static_dependency(mxml mxml libmxml.a Threads::Threads)
qsw_static_dependency(uv libuv libuv_a.a Threads::Threads dl rt)
qsw_static_dependency(msgpack msgpack libmsgpackc.a)

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
