# End-to-end tests: transfer.
