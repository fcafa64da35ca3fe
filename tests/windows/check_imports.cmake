# cmake -DOBJDUMP=<objdump> -DPROGRAM=<file.exe> -P check_imports.cmake
# Fails when PROGRAM imports a DLL that a bare Windows 10 does not ship: the C++ runtime, libgcc,
# winpthread and every library must be linked in statically.
cmake_minimum_required(VERSION 3.25)
set(system_dlls
    advapi32.dll bcrypt.dll comctl32.dll crypt32.dll dbghelp.dll gdi32.dll iphlpapi.dll kernel32.dll
    msvcrt.dll ncrypt.dll normaliz.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll secur32.dll
    shell32.dll user32.dll userenv.dll winhttp.dll ws2_32.dll wsock32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM}
    OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed: ${errors}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
if(NOT entries)
    message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()

set(foreign "")
foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
        list(APPEND foreign ${dll})
    endif()
endforeach()
if(foreign)
    list(JOIN foreign ", " foreign)
    message(FATAL_ERROR "${PROGRAM} needs DLLs a bare Windows lacks: ${foreign}")
endif()
message(STATUS "imports: ${entries}")
