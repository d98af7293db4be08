# Controls half of the platform layer: Qt Widgets.
target_sources(parcelwright_ui PRIVATE
)
