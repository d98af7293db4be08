# Tests of ui/ and of the window controls of platform/.
parcelwright_add_test(ui_destination_editing ui/destination_editing_test.cpp parcelwright_ui)
parcelwright_add_test(ui_file_selection ui/file_selection_test.cpp parcelwright_ui)
parcelwright_add_test(ui_main_window ui/main_window_test.cpp parcelwright_ui)
