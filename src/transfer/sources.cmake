target_sources(parcelwright_core PRIVATE
    transfer/destination_grid.h
    transfer/transfer_engine.cpp transfer/transfer_engine.h
    transfer/transfer_scripts.cpp transfer/transfer_scripts.h
    transfer/transfer_window.h
)
