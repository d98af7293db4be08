# Tests of ui/ and of the window controls of platform/, driven through the real main window.
parcelwright_add_test(ui_main_window ui/main_window_test.cpp parcelwright_ui)
