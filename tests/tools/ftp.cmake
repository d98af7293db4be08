# Tests of parcelwright-ftp.
parcelwright_add_test(ftp_parsing tools/ftp_parsing_test.cpp parcelwright_ftp_client)

# The silent-server case needs a listening socket that never answers.
find_package(Qt6 REQUIRED COMPONENTS Network)
parcelwright_add_test(ftp_session tools/ftp_session_test.cpp Qt6::Network)
parcelwright_needs_testbed(ftp_session)
add_dependencies(ftp_session parcelwright-ftp)
