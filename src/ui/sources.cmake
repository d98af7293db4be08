target_sources(parcelwright_ui PRIVATE
    ui/description_window.cpp ui/description_window.h
    ui/file_selection.cpp ui/file_selection.h
    ui/ftp_information.cpp ui/ftp_information.h
    ui/help_window.cpp ui/help_window.h
    ui/rich_text_document.cpp ui/rich_text_document.h
    ui/transfer_progress.cpp ui/transfer_progress.h
    ui/twips.h
    ui/wrapping_button.cpp ui/wrapping_button.h
)

# The logo is drawn by scripts/make-logo.py. Resources added to a static library this way reach
# every program that links it without an explicit initialisation call.
qt_add_resources(parcelwright_ui ui_images
    PREFIX /parcelwright
    BASE ui/resources
    FILES ui/resources/logo.gif
)
