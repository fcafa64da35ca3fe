# cmake -DWINDRES=<windres> -DPROGRAM=<file.exe> -P check_resources.cmake
# Fails unless PROGRAM carries what its screens and Windows need of it: one manifest, asking for
# administrator rights and common controls 6 (a second, default one from the toolchain would
# make the loader refuse the program); the three dialogs; the banner; the icon group with its
# six sizes; the version record.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${WINDRES} -i ${PROGRAM} -O rc
    OUTPUT_VARIABLE rc RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${WINDRES} -i ${PROGRAM} failed: ${errors}")
endif()

function(expect_count pattern count what)
    string(REGEX MATCHALL "${pattern}" found "${rc}")
    list(LENGTH found n)
    if(NOT n EQUAL count)
        message(FATAL_ERROR "${PROGRAM}: ${what}: found ${n}, expected ${count}")
    endif()
endfunction()

expect_count("\n[0-9]+ 24 /\\* RT_MANIFEST" 1 "manifests")
expect_count("requestedExecutionLevel level=\"\"requireAdministrator\"\"" 1 "administrator rights")
expect_count("name=\"\"Microsoft.Windows.Common-Controls\"\" version=\"\"6.0.0.0\"\"" 1 "common controls 6")
expect_count("\n101 DIALOGEX 0, 0, 337, 214\n" 1 "progress dialog 101")
expect_count("\n105 DIALOGEX 0, 0, 247, 114\n" 1 "credentials dialog 105")
expect_count("\n106 DIALOGEX 0, 0, 339, 176\n" 1 "welcome dialog 106")
expect_count("\n103 2 /\\* RT_BITMAP" 1 "banner bitmap 103")
expect_count("\n102 14 /\\* RT_GROUP_ICON \\*/\nBEGIN\n   0, 1, 6," 1 "icon group 102 with six sizes")
expect_count("FILEVERSION 5, 8, 3, 0" 1 "version record")
message(STATUS "${PROGRAM}: manifest, dialogs, banner, icons and version record present")
