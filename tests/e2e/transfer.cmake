# End-to-end tests: transfer. The engine runs parcelwright-cmd, parcelwright-ftp and psftp against
# the test bed's servers.
parcelwright_add_test(transfer_run e2e/transfer_run.cpp parcelwright_fake_window)
parcelwright_needs_testbed(transfer_run)
add_dependencies(transfer_run parcelwright-cmd parcelwright-ftp)
