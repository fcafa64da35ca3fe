# udp_request_bench: a synchronous UDP request stopped by its first reply against one that runs
# to its time-out. Run through bench/run_udp_request_bench.py (network namespaces, root).
add_executable(udp_request_bench ${CMAKE_CURRENT_LIST_DIR}/udp_request_bench.cpp)
target_link_libraries(udp_request_bench PRIVATE qsw_udp)
