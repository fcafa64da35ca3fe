# QSW_SANITIZE=ON: the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer, where any
# undefined behaviour ends the program instead of printing a line that nobody reads, and the
# libFuzzer targets of tests/fuzz. Needs clang (libFuzzer is clang's); configure a build folder
# of its own, e.g.
#   cmake -S . -B build-sanitize -G Ninja -DQSW_SANITIZE=ON \
#         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QSW_SANITIZE needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
endif()

set(qsw_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
# Every module carries libFuzzer's coverage hooks, so the fuzz targets are guided by the code
# they reach; only the fuzz targets link libFuzzer itself (-fsanitize=fuzzer).
add_compile_options(${qsw_sanitizer_flags} -fsanitize=fuzzer-no-link)
add_link_options(${qsw_sanitizer_flags})
