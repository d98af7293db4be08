# Benchmark of the rich text reader: built on demand (cmake --build B --target rtf_reader_bench);
# it needs neither a display nor servers.
add_executable(rtf_reader_bench EXCLUDE_FROM_ALL help/rtf_reader_bench.cpp)
target_link_libraries(rtf_reader_bench PRIVATE parcelwright_core)
target_compile_definitions(rtf_reader_bench PRIVATE PARCELWRIGHT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
