target_sources(parcelwright_core PRIVATE
    help/code_page.cpp help/code_page.h
    help/rtf_reader.cpp help/rtf_reader.h
)
