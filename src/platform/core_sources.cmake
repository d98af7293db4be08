# OS half of the platform layer: Qt Core only.
target_sources(parcelwright_core PRIVATE
    platform/paths.cpp platform/paths.h
    platform/dir_search.h
    platform/console.h
    platform/launcher.h
    platform/process_runner.h
    platform/text_file.h
)
