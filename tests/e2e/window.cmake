# End-to-end tests: window. A request keyed into the real main window, sent by the real
# interpreter and clients to the test bed's servers.
parcelwright_add_test(window_send e2e/window_send.cpp parcelwright_ui)
parcelwright_needs_testbed(window_send)
add_dependencies(window_send parcelwright-cmd parcelwright-ftp)
