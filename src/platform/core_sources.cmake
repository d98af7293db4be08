# OS half of the platform layer: Qt Core only.
target_sources(parcelwright_core PRIVATE
    platform/paths.cpp platform/paths.h
    platform/dir_search.cpp platform/dir_search.h
    platform/console.h
    platform/launcher.cpp platform/launcher.h
    platform/process_runner.h
    platform/text_file.cpp platform/text_file.h
)

# Process groups, signals and terminal emulators differ per OS; POSIX is the one built here.
if(UNIX)
    target_sources(parcelwright_core PRIVATE
        platform/console_posix.cpp
        platform/process_runner_posix.cpp
    )
endif()
