# Tests of parcelwright-cmd.
