target_sources(parcelwright_ui PRIVATE
    ui/file_selection.cpp ui/file_selection.h
    ui/ftp_information.cpp ui/ftp_information.h
    ui/transfer_progress.cpp ui/transfer_progress.h
    ui/wrapping_button.cpp ui/wrapping_button.h
)
