# Benchmark harness of the main window: built on demand (cmake --build B --target window_bench)
# and run on the offscreen platform or a display; it needs no servers.
add_executable(window_bench EXCLUDE_FROM_ALL window/window_bench.cpp)
target_link_libraries(window_bench PRIVATE parcelwright_ui)
