# Tests of the two stand-ins.
include(tools/cmd.cmake)
include(tools/ftp.cmake)
