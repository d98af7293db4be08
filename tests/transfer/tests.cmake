# Tests of transfer/.

# In-memory stand-ins of the main window, for every core test that drives the transfer engine.
add_library(parcelwright_fake_window STATIC
    support/fake_window.cpp support/fake_window.h
)
target_link_libraries(parcelwright_fake_window PUBLIC parcelwright_core parcelwright_test_support)

parcelwright_add_test(test_transfer_engine transfer/test_transfer_engine.cpp
    parcelwright_fake_window parcelwright_words)
