# loop_worker_bench: the loop worker's hand-over against a mutex + condition variable queue.
add_executable(loop_worker_bench ${CMAKE_CURRENT_LIST_DIR}/loop_worker_bench.cpp)
target_link_libraries(loop_worker_bench PRIVATE qsw_event_loop)
