target_sources(parcelwright_ui PRIVATE
    ui/ftp_information.cpp ui/ftp_information.h
)
