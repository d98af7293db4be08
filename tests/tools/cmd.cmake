# Tests of parcelwright-cmd.
parcelwright_add_test(cmd_batch tools/cmd_batch_test.cpp)
add_dependencies(cmd_batch parcelwright-cmd)
