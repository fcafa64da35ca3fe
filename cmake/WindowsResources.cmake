# The Windows edition's resources: dialogs, banner, icon group, version record and manifest
# (src/os/win32/resources/). The banner and the icons are drawn at build time.
#
# qsw_add_windows_resources(<executable target>)
#
# Resources must be part of the executable itself: in a static library nothing refers to them,
# and the linker would leave them out.
include_guard(GLOBAL)
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QSW_RESOURCE_SOURCE ${PROJECT_SOURCE_DIR}/src/os/win32/resources)
set(QSW_RESOURCE_IMAGES ${PROJECT_BINARY_DIR}/windows-resources)
add_custom_command(
    OUTPUT ${QSW_RESOURCE_IMAGES}/quenta_swiftset_banner.bmp ${QSW_RESOURCE_IMAGES}/quenta_swiftset.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QSW_RESOURCE_IMAGES}
    COMMAND Python3::Interpreter ${QSW_RESOURCE_SOURCE}/make_images.py
            ${QSW_RESOURCE_IMAGES}/quenta_swiftset_banner.bmp ${QSW_RESOURCE_IMAGES}/quenta_swiftset.ico
    DEPENDS ${QSW_RESOURCE_SOURCE}/make_images.py
    COMMENT "Drawing the banner and the icon group")
add_custom_target(qsw_windows_images DEPENDS ${QSW_RESOURCE_IMAGES}/quenta_swiftset_banner.bmp
                                             ${QSW_RESOURCE_IMAGES}/quenta_swiftset.ico)

function(qsw_add_windows_resources target)
    # Set again here: include_guard keeps the variables above to the first includer's scope.
    set(QSW_RESOURCE_SOURCE ${PROJECT_SOURCE_DIR}/src/os/win32/resources)
    set(QSW_RESOURCE_IMAGES ${PROJECT_BINARY_DIR}/windows-resources)
    target_sources(${target} PRIVATE ${QSW_RESOURCE_SOURCE}/quenta_swiftset.rc)
    add_dependencies(${target} qsw_windows_images)
    set_property(SOURCE ${QSW_RESOURCE_SOURCE}/quenta_swiftset.rc APPEND PROPERTY OBJECT_DEPENDS
        ${QSW_RESOURCE_IMAGES}/quenta_swiftset_banner.bmp ${QSW_RESOURCE_IMAGES}/quenta_swiftset.ico
        ${QSW_RESOURCE_SOURCE}/quenta_swiftset.manifest ${QSW_RESOURCE_SOURCE}/resource_ids.h)
    # windres looks for the files the script names on its include path.
    set_property(SOURCE ${QSW_RESOURCE_SOURCE}/quenta_swiftset.rc APPEND PROPERTY INCLUDE_DIRECTORIES
        ${QSW_RESOURCE_SOURCE} ${QSW_RESOURCE_IMAGES})
    set_property(SOURCE ${QSW_RESOURCE_SOURCE}/quenta_swiftset.rc APPEND PROPERTY COMPILE_DEFINITIONS
        QSW_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} QSW_VERSION_MINOR=${PROJECT_VERSION_MINOR}
        QSW_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endfunction()
