# Tests of help/.
parcelwright_add_test(help_rtf_reader help/rtf_reader_test.cpp parcelwright_core)
