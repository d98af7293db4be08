# End-to-end tests: hostile values. Files written by the real writers, run by the real interpreter
# and clients against the test bed's servers.
parcelwright_add_test(hostile_values e2e/hostile_values.cpp parcelwright_core)
parcelwright_needs_testbed(hostile_values)
add_dependencies(hostile_values parcelwright-cmd parcelwright-ftp)
