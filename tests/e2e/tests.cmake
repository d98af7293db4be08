# End-to-end tests: the built programs against the real servers of the test bed.
include(e2e/foundation.cmake)
include(e2e/hostile.cmake)
include(e2e/transfer.cmake)
include(e2e/window.cmake)
