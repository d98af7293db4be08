# Controls half of the platform layer: Qt Widgets.
target_sources(parcelwright_ui PRIVATE
    platform/grid_control.cpp platform/grid_control.h
)
