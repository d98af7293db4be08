# Tests of platform/.
parcelwright_add_test(platform platform/platform_test.cpp parcelwright_core)
add_dependencies(platform parcelwright-cmd)
