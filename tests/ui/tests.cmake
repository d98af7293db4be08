# Tests of ui/ and of the window controls of platform/, driven through the real main window.
parcelwright_add_test(ui_main_window ui/main_window_test.cpp parcelwright_ui)
parcelwright_add_test(ui_help_window ui/help_window_test.cpp parcelwright_ui)
parcelwright_add_test(ui_description_window ui/description_window_test.cpp parcelwright_ui)
