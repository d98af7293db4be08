# Benchmark harness of the transfer run: built on demand (cmake --build B --target transfer_bench),
# run against a started test bed. It borrows the test support's fakes, so it needs the tests.
if(TARGET parcelwright_fake_window)
    add_executable(transfer_bench EXCLUDE_FROM_ALL transfer/transfer_bench.cpp)
    target_link_libraries(transfer_bench PRIVATE parcelwright_fake_window)
    add_dependencies(transfer_bench parcelwright-cmd parcelwright-ftp)
endif()
