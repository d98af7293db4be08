# Tests of parcelwright-ftp.
