# qsw_bench: the installer's digest and extraction, timed against openssl, bsdtar and unzip by
# run_bench.sh.
add_executable(qsw_bench ${CMAKE_CURRENT_LIST_DIR}/qsw_bench.cpp)
target_link_libraries(qsw_bench PRIVATE qsw_install qsw_config)
