# download_bench: one transfer_file download, timed against curl by run_download_bench.sh.
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
target_link_libraries(download_bench PRIVATE qsw_download)
