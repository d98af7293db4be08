# End-to-end tests: foundation. parcelwright-cmd runs hand-written launcher files whose clients
# (parcelwright-ftp, psftp) talk to the test bed's servers.
foreach(name foundation_upload foundation_failures)
    parcelwright_add_test(${name} e2e/${name}.cpp)
    parcelwright_needs_testbed(${name})
    add_dependencies(${name} parcelwright-cmd parcelwright-ftp)
endforeach()
